// The GL driver's cached state.
#include "graphics/gl_state.h"

namespace korva::detail {

GLDrawState glDrawState;

void ResetGLStateCaches() {
    glDrawState.currentBlend = 0;
    glDrawState.currentTexture = 0;
    glDrawState.texturingEnabled = 0;
}

}  // namespace korva::detail

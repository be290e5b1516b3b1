// The GL driver's cached state, its vertex batch and the textures waiting to
// be deleted.
#include "graphics/gl_state.h"

#include <cstdlib>
#include <utility>
#include <vector>

#include "graphics/gl33_pipeline.h"
#include "graphics/gl_native.h"

namespace korva::detail {

GLDrawState glDrawState;
GLBatch glBatch;

namespace {
// Names and their object set. Never destroyed: frames may be released
// during exit, after static destructors have run.
std::vector<std::pair<uint32_t, uint32_t>>& PendingTextures() {
    static auto* pending = new std::vector<std::pair<uint32_t, uint32_t>>();
    return *pending;
}
}  // namespace

void ResetGLStateCaches() {
    glDrawState.premultipliedSource = false;
    glDrawState.inTarget = false;
    glDrawState.targetFrame = nullptr;
    glDrawState.currentBlend = 0;
    glDrawState.currentTexture = 0;
    glDrawState.texturingEnabled = 0;
}

void ApplyBlend() {
    const int32_t mode = glDrawState.currentBlend;
    const bool target = glDrawState.inTarget;
    // Premultiplied texels already carry their alpha in their colour.
    const GLenum source = glDrawState.premultipliedSource ? GL_ONE : GL_SRC_ALPHA;
    bool blend = true;
    bool masked = false;
    GLenum sc = source, dc = GL_ZERO, sa = GL_ONE, da = GL_ZERO;  // replace
    switch (mode) {
        case 1: masked = true; blend = target; break;
        case 3: dc = GL_ONE_MINUS_SRC_ALPHA; da = GL_ONE_MINUS_SRC_ALPHA; break;
        case 4: dc = GL_ONE; sa = GL_ZERO; da = GL_ONE; break;
        case 5: sc = GL_DST_COLOR; sa = GL_ZERO; da = GL_ONE; break;
        case 6: sc = GL_ONE; dc = GL_ONE_MINUS_SRC_ALPHA; da = GL_ONE_MINUS_SRC_ALPHA; break;
        default: blend = target; break;  // 2 solid, and anything unknown
    }
    // On the display, whose alpha nobody reads, replacing needs no blending;
    // a render target stores colour times alpha, and its alpha composes
    // as coverage, so that drawing the target later gives what drawing the
    // content directly would have.
    if (blend) {
        gl::Enable(GL_BLEND);
        if (target) {
            gl::BlendFuncSeparate(sc, dc, sa, da);
        } else {
            gl::BlendFunc(sc, dc);
        }
    } else {
        gl::Disable(GL_BLEND);
    }
    if (glCore) {
        SetCoreVariant(masked ? kVariantMasked : 0);
    } else if (masked) {
        gl::Enable(GL_ALPHA_TEST);
        gl::AlphaFunc(GL_GEQUAL, 0.5f);
    } else {
        gl::Disable(GL_ALPHA_TEST);
    }
}

void SetPremultipliedSource(bool premultiplied) {
    FlushBatch();
    glDrawState.premultipliedSource = premultiplied;
    if (glDrawState.currentBlend != 0) ApplyBlend();
}

void StartBatching() {
    glBatch.count = 0;
    glBatch.colorSent = false;
    if (glCore) {  // no immediate mode there; the stream buffer is set up by the pipeline
        glBatch.enabled = true;
        return;
    }
    const char* unbatched = std::getenv("KORVAGL_UNBATCHED");
    glBatch.enabled = !(unbatched && *unbatched && std::strcmp(unbatched, "0") != 0);
    if (!glBatch.enabled) return;
    // The batch never moves, so the pointers are set once per context.
    const BatchVertex* v = glBatch.vertices;
    gl::VertexPointer(2, GL_FLOAT, sizeof(BatchVertex), &v->x);
    gl::TexCoordPointer(2, GL_FLOAT, sizeof(BatchVertex), &v->u);
    gl::ColorPointer(4, GL_UNSIGNED_BYTE, sizeof(BatchVertex), v->color);
    gl::EnableClientState(GL_VERTEX_ARRAY);
    gl::EnableClientState(GL_TEXTURE_COORD_ARRAY);
    gl::EnableClientState(GL_COLOR_ARRAY);
}

void FlushBatchNow() {
    ++glDrawState.counting.drawCalls;
    if (glCore) {
        DrawCoreVertices(glBatch.mode, glBatch.vertices, glBatch.count);
    } else {
        gl::DrawArrays(glBatch.mode, 0, glBatch.count);
    }
    glBatch.drawnVertices += static_cast<uint64_t>(glBatch.count);
    glBatch.count = 0;
    // The GL leaves its current colour undefined after drawing a colour array.
    glBatch.colorSent = false;
}

void DeleteTexture(uint32_t name, uint32_t generation) {
    if (name == 0 || generation != glGeneration) return;
    if (!glOpen) {
        PendingTextures().emplace_back(name, generation);
        return;
    }
    FlushBatch();
    BindTextureCached(0);
    gl::DeleteTextures(1, &name);
}

void DeletePendingTextures() {
    auto& pending = PendingTextures();
    for (const auto& [name, generation] : pending) {
        if (generation == glGeneration) gl::DeleteTextures(1, &name);
    }
    pending.clear();
}

}  // namespace korva::detail

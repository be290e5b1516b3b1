// The GL driver's cached state, its vertex batch and the textures waiting to
// be deleted.
#include "graphics/gl_state.h"

#include <cstdlib>
#include <utility>
#include <vector>

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
    glDrawState.currentBlend = 0;
    glDrawState.currentTexture = 0;
    glDrawState.texturingEnabled = 0;
}

void StartBatching() {
    glBatch.count = 0;
    glBatch.colorSent = false;
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
    gl::DrawArrays(glBatch.mode, 0, glBatch.count);
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

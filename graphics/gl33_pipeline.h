// The GL 3.3 core pipeline behind TGL33DrawDriver: the stream buffer the
// batch is drawn from, the built-in programs and the programs of user
// shaders, the projection of the surface drawn into, and the draws that the
// fixed-function pipeline did by itself (debug text, pixmaps).
#pragma once

#include <cstdint>
#include <string>

#include "graphics/gl_state.h"

namespace korva::detail {

// Built-in program variants: the masked blend mode discards fragments whose
// alpha is below one half; bitmap text discards texels without ink.
inline constexpr int32_t kVariantMasked = 1;
inline constexpr int32_t kVariantBitmap = 2;

// A linked program and the uniforms the pipeline feeds it.
struct CoreProgram {
    uint32_t name = 0;
    uint32_t generation = 0;  // the object set the program belongs to
    int32_t projection = -1, screenSize = -1, time = -1, image = -1;
    uint32_t projectionSerial = 0;  // the projection last given to it
    int32_t timeMs = -1;
    // A user shader's own uniforms and images, applied while it is in use.
    void (*apply)(void* owner) = nullptr;
    void* owner = nullptr;
};

// Compiles and links a program from GLSL texts (empty: the built-in one)
// with the vertex attributes at their fixed places. 0 and the compiler's or
// linker's log in `log` when it fails.
uint32_t BuildCoreProgram(const std::string& vertex, const std::string& fragment, std::string& log);
// Finds the uniforms the pipeline sets in a linked program.
void FindCoreUniforms(CoreProgram& program);

// For a new display context: vertex array, stream and index buffers, the
// built-in programs and the white texel, the projection of the display.
void StartCorePipeline();
// The variant of the built-in program the next draws use (they flush first).
void SetCoreVariant(int32_t variant);
// The program of a user shader, or nullptr for the built-in ones.
void SetCoreUserProgram(CoreProgram* program);
CoreProgram* CoreUserProgram();
// Makes the program of the queued draws current with fresh uniforms.
void PrepareCoreProgram();
// The surface now drawn into: its size and whether its rows run top first
// in GL's coordinates (a render target).
void SetCoreProjection(int32_t width, int32_t height, bool topRowFirst);
// True when the user shader in use samples `frame` (shader.cpp).
bool ShaderSamples(const TImageFrame* frame);
// The stream buffer's draw of the batch (see gl_state.h).
void DrawCoreVertices(GLenum mode, const BatchVertex* vertices, int32_t n);
// Debug text as textured quads of the built-in font: ink only, in the
// current colour, the cell's top-left at (x, y) of the surface.
void DrawCoreDebugText(const String& text, int32_t x, int32_t y);
// A pixmap drawn 1:1 at (x, y) through a scratch texture (no colour tint).
void BlitCorePixmap(const Ref<TPixmap>& rows, int32_t x, int32_t y);

}  // namespace korva::detail

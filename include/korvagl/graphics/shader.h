// KorvaGL: shader programs of your own (GLSL 330), on the GL 3.3 driver.
//
// A shader replaces the built-in program for every draw while it is set with
// SetDrawShader: images, primitives, text, tiles. Its texts are GLSL 330
// (a "#version 330 core" line is put first unless the text has a #version
// line); an empty text stands for the built-in vertex or fragment part.
// What the pipeline gives a shader (declare the ones you use):
//
//   in vec2 korvaPosition;       vertex: the point in pixels of the surface
//                                (the display or the render target), y down
//   in vec2 korvaTexCoord;       vertex: the texture coordinate
//   in vec4 korvaColor;          vertex: draw colour and alpha (0..1)
//   uniform mat4 korvaProjection;   pixels to clip space for the surface
//   uniform vec2 korvaScreenSize;   the surface's size in pixels
//   uniform float korvaTime;        seconds since OpenGraphics
//   uniform sampler2D korvaImage;   the drawn image (texture unit 0; a
//                                   white texel for primitives)
//
// The built-in vertex part passes `out vec2 vTexCoord` and `out vec4 vColor`
// to the fragment part, which computes texture(korvaImage, vTexCoord) *
// vColor. Blend modes apply as ever; BLEND_MASKED's alpha test is the
// built-in program's, so a shader of your own discards for itself.
//
// Uniforms keep their values in the shader object: a value set between two
// draws applies to the draws after it (queued draws are drawn first), and
// the values survive display changes like the shader itself. On the GL 1.1
// driver, and while no display is open, every call fails softly: the null
// object or 0, with the reason in LastErrorText().
#pragma once

#include <cstdint>
#include <memory>

#include "korvagl/app/object.h"
#include "korvagl/app/string.h"
#include "korvagl/graphics/draw_driver.h"
#include "korvagl/graphics/image.h"

namespace korva {

class TShader : public Object {
public:
    String vertexText, fragmentText;  // as given; empty for the built-in part

    TShader();
    TShader(const TShader&) = delete;
    TShader& operator=(const TShader&) = delete;
    // Deletes the GL program (when its display is open).
    ~TShader() override;

    struct State;  // the GL program and the uniform values (shader.cpp)
    std::unique_ptr<State> state;
};

// A shader of the two GLSL texts; the null object with the compiler's (or
// linker's) log in LastErrorText() when they do not build.
Ref<TShader> NewShader(const String& vertexText, const String& fragmentText);
// The same from texts read through the stream layer (any URL; an empty URL
// for the built-in part). The null object when a URL does not open.
Ref<TShader> LoadShader(const String& vertexUrl, const String& fragmentUrl);
// Draws from now on with the shader; nullptr for the built-in program. 1 or 0.
int32_t SetDrawShader(const Ref<TShader>& shader);
Ref<TShader> GetDrawShader();
// Uniform values: floats (float to vec4), int (also for samplers), a matrix
// of 4, 9 or 16 floats (mat2, mat3, mat4, column by column), and an image's
// frame for a sampler2D, on a texture unit of its own. 1 when the shader has
// a uniform of that name; 0 otherwise (the value is kept all the same: a
// rebuilt program may use it).
int32_t SetShaderFloat(const Ref<TShader>& shader, const String& name, float x);
int32_t SetShaderFloat(const Ref<TShader>& shader, const String& name, float x, float y);
int32_t SetShaderFloat(const Ref<TShader>& shader, const String& name, float x, float y, float z);
int32_t SetShaderFloat(const Ref<TShader>& shader, const String& name, float x, float y, float z, float w);
int32_t SetShaderInt(const Ref<TShader>& shader, const String& name, int32_t value);
int32_t SetShaderMatrix(const Ref<TShader>& shader, const String& name, const FloatArray& values);
// Refused (0) for the frame being drawn into.
int32_t SetShaderImage(const Ref<TShader>& shader, const String& name, const Ref<TImage>& image, int32_t frame = 0);

}  // namespace korva

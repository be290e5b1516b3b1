// The GL 3.3 core pipeline: stream buffer, built-in programs, projection,
// debug text and pixmaps as textured quads.
#include "graphics/gl33_pipeline.h"

#include <cstring>
#include <vector>

#include "graphics/gl_native.h"
#include "graphics/korvafont_data.h"
#include "korvagl/app/math.h"
#include "korvagl/system/system_api.h"

namespace korva::detail {
namespace {

// The draw's position in surface pixels (y down) to clip space; texture
// coordinate and colour pass through. Attribute places are fixed (0, 1, 2),
// so every program reads the batch's vertices.
const char kVertexShader[] = R"(
in vec2 korvaPosition;
in vec2 korvaTexCoord;
in vec4 korvaColor;
uniform mat4 korvaProjection;
out vec2 vTexCoord;
out vec4 vColor;
void main() {
    vTexCoord = korvaTexCoord;
    vColor = korvaColor;
    gl_Position = korvaProjection * vec4(korvaPosition, 0.0, 1.0);
}
)";

// Texel times colour, as the fixed-function pipeline's modulate does; the
// variants add the alpha test of the masked mode and the ink test of bitmaps.
const char kFragmentShader[] = R"(
in vec2 vTexCoord;
in vec4 vColor;
uniform sampler2D korvaImage;
out vec4 fragColor;
void main() {
    vec4 texel = texture(korvaImage, vTexCoord);
#ifdef KORVA_BITMAP
    if (texel.a < 0.5) discard;
#endif
    fragColor = texel * vColor;
#ifdef KORVA_MASKED
    if (fragColor.a < 0.5) discard;
#endif
}
)";

constexpr int32_t kQuadCapacity = GLBatch::kCapacity / 4;

struct Pipeline {
    uint32_t contextSerial = 0;  // of the vertex array
    uint32_t generation = 0;     // of the shared objects below
    GLuint vertexArray = 0, streamBuffer = 0, indexBuffer = 0;
    CoreProgram builtIn[4];
    GLuint fontTexture = 0, scratchTexture = 0;
    int32_t variant = 0;
    CoreProgram* user = nullptr;
    uint32_t inUse = 0;  // the program GL uses
    float projection[16] = {};
    uint32_t projectionSerial = 0;
    int32_t surfaceWidth = 0, surfaceHeight = 0;
    int32_t startMs = 0;
} pipe;

// With the #version line first, as GLSL wants; texts that have their own keep it.
std::string WithVersion(const std::string& text, const std::string& defines) {
    const size_t start = text.find_first_not_of(" \t\r\n");
    if (start != std::string::npos && text.compare(start, 8, "#version") == 0) {
        const size_t end = text.find('\n', start);
        if (end == std::string::npos) return text + "\n" + defines;
        return text.substr(0, end + 1) + defines + text.substr(end + 1);
    }
    return "#version 330 core\n" + defines + text;
}

// The info log of a shader or program, through its getter pair.
template <typename GetIv, typename GetLog>
std::string InfoLog(GLuint name, GetIv getIv, GetLog getLog) {
    GLint length = 0;
    getIv(name, GL_INFO_LOG_LENGTH, &length);
    std::string text(static_cast<size_t>(length > 1 ? length : 1), '\0');
    getLog(name, static_cast<GLsizei>(text.size()), nullptr, text.data());
    return text.c_str();
}

GLuint CompileStage(GLenum kind, const std::string& text, std::string& log) {
    const GLuint shader = gl::CreateShader(kind);
    const GLchar* source = text.c_str();
    gl::ShaderSource(shader, 1, &source, nullptr);
    gl::CompileShader(shader);
    GLint ok = 0;
    gl::GetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        log = (kind == GL_VERTEX_SHADER ? "vertex shader: " : "fragment shader: ") +
              InfoLog(shader, gl::GetShaderiv, gl::GetShaderInfoLog);
        gl::DeleteShader(shader);
        return 0;
    }
    return shader;
}

uint32_t BuildVariant(int32_t variant) {
    std::string defines;
    if (variant & kVariantMasked) defines += "#define KORVA_MASKED 1\n";
    if (variant & kVariantBitmap) defines += "#define KORVA_BITMAP 1\n";
    std::string log;
    return BuildCoreProgram(kVertexShader, WithVersion(kFragmentShader, defines), log);
}

GLuint NewTexture(int32_t width, int32_t height, const void* pixels) {
    GLuint name = 0;
    gl::GenTextures(1, &name);
    BindTextureCached(name);
    gl::TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    gl::TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    gl::TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    gl::TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    gl::PixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    gl::TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    return name;
}

// The built-in font as 16 x 16 cells of 8 x 16 texels, white ink on clear;
// codes outside 32-127 blank.
GLuint MakeFontTexture() {
    std::vector<uint8_t> texels(128 * 256 * 4, 0);
    for (int code = 32; code < 128; ++code) {
        const int cx = (code % 16) * 8, cy = (code / 16) * 16;
        for (int row = 0; row < 16; ++row) {
            const uint8_t bits = kKorvaFontData[row * 96 + (code - 32)];
            for (int k = 0; k < 8; ++k) {
                if (bits & (1u << k)) std::memset(&texels[((cy + row) * 128 + cx + k) * 4], 255, 4);
            }
        }
    }
    return NewTexture(128, 256, texels.data());
}

void UploadUniforms(CoreProgram& p) {
    if (p.projection >= 0 && p.projectionSerial != pipe.projectionSerial) {
        gl::UniformMatrix4fv(p.projection, 1, GL_FALSE, pipe.projection);
        if (p.screenSize >= 0) {
            gl::Uniform2f(p.screenSize, static_cast<float>(pipe.surfaceWidth), static_cast<float>(pipe.surfaceHeight));
        }
        p.projectionSerial = pipe.projectionSerial;
    }
    if (p.time >= 0) {
        const int32_t now = ElapsedMs() - pipe.startMs;
        if (now != p.timeMs) {
            gl::Uniform1f(p.time, static_cast<float>(now) / 1000.0f);
            p.timeMs = now;
        }
    }
}

}  // namespace

uint32_t BuildCoreProgram(const std::string& vertex, const std::string& fragment, std::string& log) {
    const GLuint vs = CompileStage(GL_VERTEX_SHADER, WithVersion(vertex.empty() ? kVertexShader : vertex, ""), log);
    if (!vs) return 0;
    const GLuint fs = CompileStage(GL_FRAGMENT_SHADER, fragment.empty() ? WithVersion(kFragmentShader, "")
                                                                        : WithVersion(fragment, ""), log);
    if (!fs) {
        gl::DeleteShader(vs);
        return 0;
    }
    const GLuint program = gl::CreateProgram();
    gl::AttachShader(program, vs);
    gl::AttachShader(program, fs);
    gl::BindAttribLocation(program, 0, "korvaPosition");
    gl::BindAttribLocation(program, 1, "korvaTexCoord");
    gl::BindAttribLocation(program, 2, "korvaColor");
    gl::LinkProgram(program);
    gl::DeleteShader(vs);  // they go with the program
    gl::DeleteShader(fs);
    GLint ok = 0;
    gl::GetProgramiv(program, GL_LINK_STATUS, &ok);
    if (!ok) {
        log = "linking: " + InfoLog(program, gl::GetProgramiv, gl::GetProgramInfoLog);
        gl::DeleteProgram(program);
        return 0;
    }
    return program;
}

void FindCoreUniforms(CoreProgram& p) {
    p.projection = gl::GetUniformLocation(p.name, "korvaProjection");
    p.screenSize = gl::GetUniformLocation(p.name, "korvaScreenSize");
    p.time = gl::GetUniformLocation(p.name, "korvaTime");
    p.image = gl::GetUniformLocation(p.name, "korvaImage");
    p.projectionSerial = 0;
    p.timeMs = -1;
    if (p.image >= 0) {  // unit 0 holds the drawn image
        gl::UseProgram(p.name);
        gl::Uniform1i(p.image, 0);
        pipe.inUse = p.name;
    }
}

void StartCorePipeline() {
    pipe.startMs = ElapsedMs();
    pipe.inUse = 0;
    pipe.variant = 0;
    pipe.user = nullptr;  // a new display starts with the built-in program
    if (pipe.generation != glGeneration) {
        // Buffers, programs and textures are shared by every display of one
        // object set; a new set (a GL that would not share) makes its own.
        pipe.generation = glGeneration;
        gl::GenBuffers(1, &pipe.streamBuffer);
        gl::GenBuffers(1, &pipe.indexBuffer);
        for (int32_t v = 0; v < 4; ++v) {
            pipe.builtIn[v] = CoreProgram{};
            pipe.builtIn[v].name = BuildVariant(v);
            pipe.builtIn[v].generation = glGeneration;
            FindCoreUniforms(pipe.builtIn[v]);
        }
        const uint8_t white[4] = {255, 255, 255, 255};
        glDrawState.whiteTexture = NewTexture(1, 1, white);
        pipe.fontTexture = MakeFontTexture();
        pipe.scratchTexture = 0;
    }
    // The vertex array is the context's own.
    gl::GenVertexArrays(1, &pipe.vertexArray);
    gl::BindVertexArray(pipe.vertexArray);
    gl::BindBuffer(GL_ARRAY_BUFFER, pipe.streamBuffer);
    gl::BindBuffer(GL_ELEMENT_ARRAY_BUFFER, pipe.indexBuffer);
    std::vector<uint16_t> indices(static_cast<size_t>(kQuadCapacity) * 6);
    for (int32_t q = 0; q < kQuadCapacity; ++q) {
        const auto b = static_cast<uint16_t>(q * 4);
        const uint16_t quad[6] = {b, static_cast<uint16_t>(b + 1), static_cast<uint16_t>(b + 2),
                                  b, static_cast<uint16_t>(b + 2), static_cast<uint16_t>(b + 3)};
        std::memcpy(&indices[static_cast<size_t>(q) * 6], quad, sizeof quad);
    }
    gl::BufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indices.size() * 2), indices.data(),
                   GL_STATIC_DRAW);
    gl::BufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(sizeof glBatch.vertices), nullptr, GL_STREAM_DRAW);
    const auto stride = static_cast<GLsizei>(sizeof(BatchVertex));
    gl::EnableVertexAttribArray(0);
    gl::VertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(BatchVertex, x)));
    gl::EnableVertexAttribArray(1);
    gl::VertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(BatchVertex, u)));
    gl::EnableVertexAttribArray(2);
    gl::VertexAttribPointer(2, 4, GL_UNSIGNED_BYTE, GL_TRUE, stride,
                            reinterpret_cast<void*>(offsetof(BatchVertex, color)));
    pipe.contextSerial = glContextSerial;
    BindTextureCached(glDrawState.whiteTexture);
}

void SetCoreVariant(int32_t variant) {
    if (variant == pipe.variant) return;
    FlushBatch();
    pipe.variant = variant;
}

void SetCoreUserProgram(CoreProgram* program) {
    if (program == pipe.user) return;
    FlushBatch();
    pipe.user = program;
}

CoreProgram* CoreUserProgram() { return pipe.user; }

void PrepareCoreProgram() {
    CoreProgram& p = pipe.user ? *pipe.user : pipe.builtIn[pipe.variant];
    if (p.name != pipe.inUse) {
        gl::UseProgram(p.name);
        pipe.inUse = p.name;
        ++glDrawState.counting.shaderSwitches;
    }
    UploadUniforms(p);
    if (p.apply) p.apply(p.owner);
}

void SetCoreProjection(int32_t width, int32_t height, bool topRowFirst) {
    // Surface pixels, y down, to clip space; a render target keeps its top
    // row at GL's row 0, so its rows read back top first.
    float* m = pipe.projection;
    std::memset(m, 0, sizeof pipe.projection);
    m[0] = 2.0f / static_cast<float>(width);
    m[5] = (topRowFirst ? 2.0f : -2.0f) / static_cast<float>(height);
    m[10] = -1.0f;
    m[12] = -1.0f;
    m[13] = topRowFirst ? -1.0f : 1.0f;
    m[15] = 1.0f;
    pipe.surfaceWidth = width;
    pipe.surfaceHeight = height;
    ++pipe.projectionSerial;
}

void DrawCoreVertices(GLenum mode, const BatchVertex* vertices, int32_t n) {
    if (n <= 0) return;
    PrepareCoreProgram();
    gl::BufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(n) * static_cast<GLsizeiptr>(sizeof(BatchVertex)),
                   vertices, GL_STREAM_DRAW);
    switch (mode) {
        case GL_QUADS:
            gl::DrawElements(GL_TRIANGLES, n / 4 * 6, GL_UNSIGNED_SHORT, nullptr);
            break;
        case GL_POLYGON:
            gl::DrawArrays(GL_TRIANGLE_FAN, 0, n);
            break;
        default:
            gl::DrawArrays(mode, 0, n);
            break;
    }
}

void DrawCoreDebugText(const String& text, int32_t x, int32_t y) {
    FlushBatch();
    if (glDrawState.premultipliedSource) SetPremultipliedSource(false);
    const int32_t variant = pipe.variant;
    SetCoreVariant(variant | kVariantBitmap);
    BindTextureCached(pipe.fontTexture);
    const float top = static_cast<float>(y);
    float left = static_cast<float>(x);
    for (int32_t i = 0; i < text.Length(); ++i) {
        const uint16_t unit = text[i];
        if (unit > 255) continue;  // skipped, as the list of its code would be
        if (unit >= 32 && unit < 128) {
            const float u0 = static_cast<float>(unit % 16) / 16.0f, v0 = static_cast<float>(unit / 16) / 16.0f;
            BatchVertex* v = ReserveVertices(GL_QUADS, 4);
            PutVertex(v[0], left, top, u0, v0);
            PutVertex(v[1], left + 8, top, u0 + 1.0f / 16, v0);
            PutVertex(v[2], left + 8, top + 16, u0 + 1.0f / 16, v0 + 1.0f / 16);
            PutVertex(v[3], left, top + 16, u0, v0 + 1.0f / 16);
        }
        left += 8;
    }
    SetCoreVariant(variant);
}

void BlitCorePixmap(const Ref<TPixmap>& rows, int32_t x, int32_t y) {
    FlushBatch();
    if (glDrawState.premultipliedSource) SetPremultipliedSource(false);
    if (pipe.scratchTexture == 0) {
        pipe.scratchTexture = NewTexture(rows->width, rows->height, nullptr);
    } else {
        BindTextureCached(pipe.scratchTexture);
    }
    gl::PixelStorei(GL_UNPACK_ROW_LENGTH, rows->pitch / 4);
    gl::TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, rows->width, rows->height, 0, GL_RGBA, GL_UNSIGNED_BYTE, rows->pixels);
    gl::PixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    // The pixels as they are: no tint.
    uint8_t saved[4];
    std::memcpy(saved, glDrawState.drawColor, 4);
    std::memset(glDrawState.drawColor, 255, 4);
    const float x0 = static_cast<float>(x), y0 = static_cast<float>(y);
    const float x1 = x0 + static_cast<float>(rows->width), y1 = y0 + static_cast<float>(rows->height);
    BatchVertex* v = ReserveVertices(GL_QUADS, 4);
    PutVertex(v[0], x0, y0, 0, 0);
    PutVertex(v[1], x1, y0, 1, 0);
    PutVertex(v[2], x1, y1, 1, 1);
    PutVertex(v[3], x0, y1, 0, 1);
    std::memcpy(glDrawState.drawColor, saved, 4);
    FlushBatchNow();
}

}  // namespace korva::detail

// Shader programs of your own on the GL 3.3 pipeline.
#include "korvagl/graphics/shader.h"

#include <cstring>
#include <string>
#include <vector>

#include "graphics/gl33_pipeline.h"
#include "graphics/gl_native.h"
#include "graphics/gl_state.h"
#include "korvagl/app/last_error.h"
#include "korvagl/graphics/gl_frames.h"
#include "korvagl/stream/stream.h"

namespace korva {

namespace gl = detail::gl;

struct TShader::State {
    enum Kind { kFloat, kInt, kMatrix, kImage };
    struct Uniform {
        std::string name;
        Kind kind = kFloat;
        int32_t count = 0;  // floats
        float f[16] = {};
        int32_t i = 0;
        Ref<TImage> image;
        int32_t frame = 0;
        int32_t location = -1;
        uint32_t locatedIn = 0;  // the program the location belongs to
        bool dirty = true;
    };
    detail::CoreProgram program;
    std::vector<Uniform> uniforms;
};

namespace {

Ref<TShader> current;

bool CanShade(const char* what) {
    if (!detail::glOpen) {
        detail::SetLastErrorText(String(what) + ": no display is open");
        return false;
    }
    if (!detail::glCore) {
        detail::SetLastErrorText(String(what) + ": shaders need the GL 3.3 driver (the GL 1.1 driver runs)");
        return false;
    }
    return true;
}

// Builds the program (again, in a new object set); false with the log.
bool Build(TShader& shader) {
    detail::CoreProgram& p = shader.state->program;
    if (p.name != 0 && p.generation == detail::glGeneration) return true;
    std::string log;
    p.name = detail::BuildCoreProgram(shader.vertexText.ToUtf8(), shader.fragmentText.ToUtf8(), log);
    if (p.name == 0) {
        detail::SetLastErrorText(String::FromUtf8("shader does not build: " + log));
        return false;
    }
    p.generation = detail::glGeneration;
    detail::FindCoreUniforms(p);
    for (auto& u : shader.state->uniforms) u.dirty = true;
    return true;
}

void Apply(void* owner) {
    TShader::State& s = *static_cast<TShader::State*>(owner);
    int32_t unit = 1;
    for (auto& u : s.uniforms) {
        if (u.locatedIn != s.program.name) {
            u.location = gl::GetUniformLocation(s.program.name, u.name.c_str());
            u.locatedIn = s.program.name;
            u.dirty = true;
        }
        if (u.kind == TShader::State::kImage) {
            auto* frame = dynamic_cast<TGLTextureFrame*>(&u.image->Frame(u.frame));
            uint32_t texture = frame ? frame->TextureNow() : 0;
            if (frame && frame == detail::glDrawState.targetFrame) texture = 0;  // it is being drawn into
            if (auto* dynamic = dynamic_cast<TGLDynamicTextureFrame*>(frame); dynamic && texture) {
                dynamic->SyncMipmaps();
            }
            gl::ActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
            gl::BindTexture(GL_TEXTURE_2D, texture);
            gl::ActiveTexture(GL_TEXTURE0);
            if (u.location >= 0) gl::Uniform1i(u.location, unit);
            ++unit;
            continue;
        }
        if (!u.dirty || u.location < 0) continue;
        u.dirty = false;
        if (u.kind == TShader::State::kInt) {
            gl::Uniform1i(u.location, u.i);
        } else if (u.kind == TShader::State::kMatrix) {
            if (u.count == 4) gl::UniformMatrix2fv(u.location, 1, GL_FALSE, u.f);
            if (u.count == 9) gl::UniformMatrix3fv(u.location, 1, GL_FALSE, u.f);
            if (u.count == 16) gl::UniformMatrix4fv(u.location, 1, GL_FALSE, u.f);
        } else {
            switch (u.count) {
                case 1: gl::Uniform1fv(u.location, 1, u.f); break;
                case 2: gl::Uniform2fv(u.location, 1, u.f); break;
                case 3: gl::Uniform3fv(u.location, 1, u.f); break;
                default: gl::Uniform4fv(u.location, 1, u.f); break;
            }
        }
    }
}

// The shader's record of `name`, after the draws queued under its old value.
TShader::State::Uniform* Slot(const Ref<TShader>& shader, const String& name) {
    TShader::State& s = *shader->state;
    if (detail::glOpen && detail::CoreUserProgram() == &s.program) detail::FlushBatch();
    const std::string key = name.ToUtf8();
    for (auto& u : s.uniforms) {
        if (u.name == key) {
            u.dirty = true;
            return &u;
        }
    }
    s.uniforms.emplace_back();
    s.uniforms.back().name = key;
    return &s.uniforms.back();
}

// 1 when the built program has the uniform.
int32_t Known(const Ref<TShader>& shader, const String& name) {
    if (!CanShade("SetShader")) return 0;
    const detail::CoreProgram& p = shader->state->program;
    if (p.name == 0 || p.generation != detail::glGeneration) return 1;  // built at its next use
    if (gl::GetUniformLocation(p.name, name.ToUtf8().c_str()) >= 0) return 1;
    detail::SetLastErrorText("the shader has no uniform \"" + name + "\" (or does not use it)");
    return 0;
}

int32_t SetFloats(const Ref<TShader>& shader, const String& name, std::initializer_list<float> values) {
    TShader::State::Uniform* u = Slot(shader, name);
    u->kind = TShader::State::kFloat;
    u->count = static_cast<int32_t>(values.size());
    std::copy(values.begin(), values.end(), u->f);
    return Known(shader, name);
}

}  // namespace

bool detail::ShaderSamples(const TImageFrame* frame) {
    if (!current || detail::CoreUserProgram() != &current->state->program) return false;
    for (const auto& u : current->state->uniforms) {
        if (u.kind == TShader::State::kImage && &u.image->Frame(u.frame) == frame) return true;
    }
    return false;
}

TShader::TShader() : state(std::make_unique<State>()) {
    state->program.apply = Apply;
    state->program.owner = state.get();
}

TShader::~TShader() {
    // At once, or when the next display opens.
    if (detail::CoreUserProgram() == &state->program) detail::SetCoreUserProgram(nullptr);
    detail::DeleteProgram(state->program.name, state->program.generation);
}

Ref<TShader> NewShader(const String& vertexText, const String& fragmentText) {
    if (!CanShade("NewShader")) return nullptr;
    Ref<TShader> shader = New<TShader>();
    shader->vertexText = vertexText;
    shader->fragmentText = fragmentText;
    detail::FlushBatch();  // building uses a program of its own
    if (!Build(*shader)) return nullptr;
    detail::ClearLastErrorText();
    return shader;
}

Ref<TShader> LoadShader(const String& vertexUrl, const String& fragmentUrl) {
    String texts[2];
    const String* urls[2] = {&vertexUrl, &fragmentUrl};
    for (int i = 0; i < 2; ++i) {
        if (urls[i]->Length() == 0) continue;
        Ref<TByteStream> stream = OpenForLoading(*urls[i]);
        if (!stream) return nullptr;  // the opener said why
        const ByteArray bytes = detail::ReadAllAndClose(stream);
        texts[i] = String::FromUtf8(std::string(bytes.begin(), bytes.end()));
    }
    return NewShader(texts[0], texts[1]);
}

int32_t SetDrawShader(const Ref<TShader>& shader) {
    if (!shader) {
        current = nullptr;
        if (detail::glOpen && detail::glCore) detail::SetCoreUserProgram(nullptr);
        return 1;
    }
    if (!CanShade("SetDrawShader")) return 0;
    for (const auto& u : shader->state->uniforms) {
        if (u.kind == TShader::State::kImage && &u.image->Frame(u.frame) == detail::glDrawState.targetFrame) {
            detail::SetLastErrorText("SetDrawShader: an image of the shader is the draw target");
            return 0;
        }
    }
    detail::FlushBatch();
    if (!Build(*shader)) return 0;
    detail::SetCoreUserProgram(&shader->state->program);
    current = shader;
    return 1;
}

Ref<TShader> GetDrawShader() {
    if (current && detail::CoreUserProgram() != &current->state->program) current = nullptr;  // a new display
    return current;
}

int32_t SetShaderFloat(const Ref<TShader>& shader, const String& name, float x) { return SetFloats(shader, name, {x}); }
int32_t SetShaderFloat(const Ref<TShader>& shader, const String& name, float x, float y) {
    return SetFloats(shader, name, {x, y});
}
int32_t SetShaderFloat(const Ref<TShader>& shader, const String& name, float x, float y, float z) {
    return SetFloats(shader, name, {x, y, z});
}
int32_t SetShaderFloat(const Ref<TShader>& shader, const String& name, float x, float y, float z, float w) {
    return SetFloats(shader, name, {x, y, z, w});
}

int32_t SetShaderInt(const Ref<TShader>& shader, const String& name, int32_t value) {
    TShader::State::Uniform* u = Slot(shader, name);
    u->kind = TShader::State::kInt;
    u->i = value;
    return Known(shader, name);
}

int32_t SetShaderMatrix(const Ref<TShader>& shader, const String& name, const FloatArray& values) {
    if (values.size() != 4 && values.size() != 9 && values.size() != 16) {
        detail::SetLastErrorText("SetShaderMatrix: 4, 9 or 16 values, not " + IntToString(int64_t(values.size())));
        return 0;
    }
    TShader::State::Uniform* u = Slot(shader, name);
    u->kind = TShader::State::kMatrix;
    u->count = static_cast<int32_t>(values.size());
    std::copy(values.begin(), values.end(), u->f);
    return Known(shader, name);
}

int32_t SetShaderImage(const Ref<TShader>& shader, const String& name, const Ref<TImage>& image, int32_t frame) {
    TImageFrame& f = image->Frame(frame);
    if (&f == detail::glDrawState.targetFrame) {
        detail::SetLastErrorText("SetShaderImage: the image is the draw target");
        return 0;
    }
    TShader::State::Uniform* u = Slot(shader, name);
    u->kind = TShader::State::kImage;
    u->image = image;
    u->frame = frame;
    return Known(shader, name);
}

}  // namespace korva

// Post-processing: the scene is drawn into an image (a render target), and
// the image onto the screen through a shader of our own that ripples it and
// darkens its corners. On the GL 1.1 driver, which has no shaders, the
// image is drawn as it is. Escape or the window's close button leaves.
#include <korvagl/korvagl.h>

#include <cstdio>

using namespace korva;

namespace {

// Ripples the picture sideways with time and darkens it towards the corners.
const char kRipple[] = R"(
in vec2 vTexCoord;
in vec4 vColor;
uniform sampler2D korvaImage;
uniform float korvaTime;
uniform vec2 imageSize;   // the frame's part of its texture
uniform float strength;
out vec4 fragColor;
void main() {
    vec2 uv = vTexCoord;
    uv.x += sin(uv.y / imageSize.y * 40.0 + korvaTime * 4.0) * strength * imageSize.x;
    vec2 centre = vTexCoord / imageSize - 0.5;
    float vignette = 1.0 - dot(centre, centre) * 1.6;
    fragColor = texture(korvaImage, uv) * vColor * vec4(vec3(vignette), 1.0);
}
)";

void DrawScene(int frame) {
    SetClearColor(30, 40, 70);
    ClearScreen();
    SetBlendMode(BLEND_ALPHA);
    for (int i = 0; i < 8; ++i) {
        SetDrawColor(80 + i * 20, 200 - i * 15, 120);
        SetDrawTransform(frame * 1.5f + i * 45.0f, 1, 1);
        SetDrawHandle(40, 10);
        DrawRect(320, 240, 80, 20);
    }
    SetDrawHandle(0, 0);
    SetDrawTransform(0, 1, 1);
    SetDrawColor(255, 220, 90);
    DrawOval(280 + 120 * static_cast<float>(Sin(frame * 2.0)), 60, 80, 80);
    SetDrawColor(255, 255, 255);
    DrawText("drawn into an image", 20, 440);
}

}  // namespace

int main(int argc, char** argv) {
    return RunApplication(argc, argv, [] {
        OpenGraphics(640, 480, 0, 60);
        Ref<TImage> scene = NewImage(640, 480, 1, 0);
        Ref<TShader> ripple = NewShader("", kRipple);  // the null object on GL 1.1
        if (ripple) {
            // The 640 x 480 frame may sit in a larger texture.
            const TImageFrame& f = scene->Frame(0);
            SetShaderFloat(ripple, "imageSize", f.uMax, f.vMax);
            SetShaderFloat(ripple, "strength", 0.004f);
        } else {
            std::printf("no shader: %s\n", LastErrorText().ToUtf8().c_str());
        }
        int frame = 0;
        while (!KeyWasHit(KEY_ESCAPE) && !WindowCloseRequested()) {
            if (SetDrawTarget(scene) != 1) {
                std::fprintf(stderr, "postprocess: %s\n", LastErrorText().ToUtf8().c_str());
                return 1;
            }
            DrawScene(frame);
            SetDrawTarget(nullptr);

            SetBlendMode(BLEND_SOLID);
            SetDrawColor(255, 255, 255);
            SetDrawShader(ripple);
            DrawImageAt(scene, 0, 0);
            SetDrawShader(nullptr);
            DrawDebugText(String("Escape leaves"), 8, 8);
            ++frame;
            FlipFrame();
        }
        int32_t draws, textures, shaders, flushes;
        GetDrawStats(draws, textures, shaders, flushes);
        std::printf("post-processed %d frames on GL driver %d, %d draw calls a frame\n", frame, CurrentGLDriver(),
                    draws);
        return 0;
    });
}

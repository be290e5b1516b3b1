// A light map: a dark scene lit by moving lights. The lights are added into
// an image (a render target) that starts at the ambient light each frame;
// the image then multiplies the scene (BLEND_SHADE). Escape or the window's
// close button leaves.
#include <korvagl/korvagl.h>

#include <cmath>
#include <cstdio>

using namespace korva;

namespace {

// A soft white disc, brightest in the middle, for adding light.
Ref<TImage> MakeLight() {
    Ref<TPixmap> pixels = NewPixmap(128, 128, PIX_RGBA32);
    for (int y = 0; y < 128; ++y) {
        for (int x = 0; x < 128; ++x) {
            const double d = std::sqrt((x - 63.5) * (x - 63.5) + (y - 63.5) * (y - 63.5)) / 64.0;
            const auto a = static_cast<uint32_t>(d >= 1 ? 0 : (1 - d) * (1 - d) * 255);
            pixels->WritePixel(x, y, a << 24 | 0xFFFFFFu);
        }
    }
    return LoadImageFile(pixels, IMAGE_FILTERED);
}

// Checks and columns, so the light has something to fall on.
void DrawScene() {
    SetBlendMode(BLEND_SOLID);
    for (int y = 0; y < 480; y += 40) {
        for (int x = 0; x < 640; x += 40) {
            const int shade = ((x + y) / 40) % 2 ? 150 : 110;
            SetDrawColor(shade, shade - 20, shade - 40);
            DrawRect(x, y, 40, 40);
        }
    }
    SetDrawColor(70, 90, 160);
    for (int x = 60; x < 640; x += 140) DrawRect(x, 120, 30, 240);
}

}  // namespace

int main(int argc, char** argv) {
    return RunApplication(argc, argv, [] {
        OpenGraphics(640, 480, 0, 60);
        SetAutoMidHandle(1);
        Ref<TImage> light = MakeLight();
        Ref<TImage> lightMap = NewImage(640, 480, 1, 0);
        const int kLights = 5;
        int frame = 0;
        while (!KeyWasHit(KEY_ESCAPE) && !WindowCloseRequested()) {
            // The light map: ambient light, then every light added.
            if (SetDrawTarget(lightMap) != 1) {
                std::fprintf(stderr, "lightmap: %s\n", LastErrorText().ToUtf8().c_str());
                return 1;
            }
            SetClearColor(40, 40, 60);
            ClearScreen();
            SetBlendMode(BLEND_LIGHT);
            for (int i = 0; i < kLights; ++i) {
                const double t = frame * 0.02 + i * 1.3;
                SetDrawColor(200 + i * 10, 160 + i * 20, 120);
                SetDrawTransform(0, 2.5f, 2.5f);
                DrawImageAt(light, 320 + 240 * static_cast<float>(std::cos(t)),
                            240 + 160 * static_cast<float>(std::sin(t * 1.7)));
            }
            SetDrawTransform(0, 1, 1);
            SetDrawTarget(nullptr);

            // The scene, multiplied by the light map.
            DrawScene();
            SetBlendMode(BLEND_SHADE);
            SetDrawColor(255, 255, 255);
            DrawImageAt(lightMap, 320, 240);
            SetBlendMode(BLEND_ALPHA);
            DrawDebugText(String("Escape leaves"), 8, 8);
            ++frame;
            FlipFrame();
        }
        std::printf("lit %d frames\n", frame);
        return 0;
    });
}

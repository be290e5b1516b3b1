// Sprites and shapes: a window, an image made in memory, a loop that moves,
// turns and fades it, and a few primitives. Escape leaves.
//   sprites [picture]
#include <korvagl/korvagl.h>

#include <cstdio>
#include <vector>

using namespace korva;

namespace {

// A 64x64 ball: a shaded disc on the mask colour (black), so it is drawn
// without its corners.
Ref<TImage> MakeBall() {
    Ref<TPixmap> pixels = NewPixmap(64, 64, PIX_RGB24);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            const int dx = x - 32, dy = y - 32;
            const int d = dx * dx + dy * dy;
            const uint32_t shade = d < 1024 ? 255 - d / 5 : 0;
            pixels->WritePixel(x, y, 0xFF000000u | shade << 16 | (shade / 2) << 8 | (d < 1024 ? 40u : 0u));
        }
    }
    return LoadImageFile(pixels, -1);
}

struct Ball {
    float x, y, dx, dy, angle;
};

}  // namespace

int main(int argc, char** argv) {
    return RunApplication(argc, argv, [] {
        OpenGraphics(640, 480, 0, 60);  // a window, paced to 60 frames a second
        SetAutoMidHandle(1);
        Ref<TImage> ball = ProgramArgs().size() > 1 ? LoadImageFile(ProgramArgs()[1], -1) : MakeBall();
        if (!ball) {
            std::fprintf(stderr, "sprites: cannot load %s\n", ProgramArgs()[1].ToBytes().c_str());
            return 1;
        }
        std::vector<Ball> balls;
        for (int i = 0; i < 12; ++i) balls.push_back({40.0f + i * 45, 60.0f + i * 25, 1.5f + i % 3, 2.0f - i % 4, i * 30.0f});

        float time = 0;  // counts frames
        while (!KeyWasHit(27)) {
            SetClearColor(20, 24, 40);
            ClearScreen();

            // Shapes in the background.
            SetBlendMode(2);
            SetDrawTransform(0, 1, 1);
            SetDrawColor(60, 70, 120);
            for (int x = 0; x < 640; x += 32) DrawLine(x, 0, x, 479);
            SetDrawColor(200, 180, 60);
            DrawOval(260, 180, 120, 120);
            SetDrawColor(90, 160, 90);
            DrawPoly({20, 460, 120, 360, 220, 460});

            // The balls, alpha blended, turning and pulsing.
            SetBlendMode(3);
            SetDrawColor(255, 255, 255);
            for (size_t i = 0; i < balls.size(); ++i) {
                Ball& b = balls[i];
                b.x += b.dx;
                b.y += b.dy;
                if (b.x < 0 || b.x > 640) b.dx = -b.dx;
                if (b.y < 0 || b.y > 480) b.dy = -b.dy;
                b.angle += 2;
                const float scale = static_cast<float>(0.75 + 0.25 * Sin(time * 3 + i * 20));
                SetDrawAlpha(static_cast<float>(0.6 + 0.4 * Cos(time * 2 + i * 30)));
                SetDrawTransform(b.angle, scale, scale);
                DrawImageAt(ball, b.x, b.y, 0);
            }
            SetDrawAlpha(1);
            SetDrawTransform(0, 1, 1);
            DrawDebugText(String("Escape leaves"), 8, 8);
            time += 1;
            FlipFrame();
        }
        std::printf("left after %.0f frames\n", time);
        return 0;
    });
}

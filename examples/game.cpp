// A small game: steer the ship with the arrow keys and keep clear of the
// rocks. A hit sounds a blip and counts; the longest time clear of the rocks
// is kept as the best, in the user's data directory. Escape or the window's
// close button leaves. Pictures and the sound are made in code, so the
// program needs no files; give a picture to fly that instead:
//   game [ship picture]
#include <korvagl/korvagl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

using namespace korva;

namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr int kStepsPerSecond = 60;  // the simulation's rate, whatever the display's

// A pixmap drawn by a function of (x, y) giving ARGB; black is the mask
// colour, so black pixels are transparent when loaded.
template <typename Paint>
Ref<TImage> Picture(int size, Paint paint) {
    Ref<TPixmap> pixels = NewPixmap(size, size, PIX_RGB24);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) pixels->WritePixel(x, y, paint(x, y));
    return LoadImageFile(pixels);
}

// The ship: an arrow head pointing up.
Ref<TImage> MakeShip() {
    return Picture(32, [](int x, int y) -> ARGB { return std::abs(x - 16) * 2 < y ? 0xFF60C0FFu : 0xFF000000u; });
}

// A rock: a grey disc.
Ref<TImage> MakeRock() {
    return Picture(40, [](int x, int y) -> ARGB {
        const int dx = x - 20, dy = y - 20;
        return dx * dx + dy * dy < 361 ? 0xFF000000u | (0x70 + (x ^ y) % 16) * 0x010101u : 0xFF000000u;
    });
}

// A short falling blip, 16-bit mono at 22050 Hz.
Ref<TAudioClip> MakeBlip() {
    const int32_t hertz = 22050, length = hertz / 8;
    Ref<TPcmSample> sample = NewPcmSample(length, hertz, SMP_MONO16LE);
    auto* frames = reinterpret_cast<int16_t*>(sample->samples);
    for (int32_t i = 0; i < length; ++i) {
        const double t = static_cast<double>(i) / hertz;
        frames[i] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * (880 - 2000 * t) * t) * (1 - t * 8));
    }
    return OpenSoundClip(sample, 0);
}

struct Rock {
    float x, y, dx, dy;
};

// The best time clear of the rocks, in steps, is kept in the user's data
// directory (~/.local/share/korvagl-game), never beside the program, which
// may be installed where it cannot write.
String BestFile() {
    const String saves = UserDataDir("korvagl-game");
    if (saves.IsEmpty()) std::fprintf(stderr, "game: no best time: %s\n", LastErrorText().Utf8().c_str());
    return saves.IsEmpty() ? String() : saves + "/best.txt";
}

}  // namespace

int main(int argc, char** argv) {
    return RunApplication(argc, argv, [] {
        SetWindowTitle("KorvaGL Game");
        OpenGraphics(kWidth, kHeight, 0, 60);
        SetAutoMidHandle(1);  // positions are the centres of the pictures
        SetBlendMode(BLEND_MASKED);     // pictures: their black left out
        SetTextBlendMode(BLEND_ALPHA);  // text: smooth edges in any font (docs/guide.md, "Text")

        Ref<TImage> ship = MakeShip();
        if (ProgramArgs().size() > 1) {
            // The program's directory is current (start-up made it so); a
            // path the user typed is relative to where it was typed.
            String path = ProgramArgs()[1];
            if (!path.IsEmpty() && path[0] != u'/') path = StartDir() + "/" + path;
            ship = LoadImageFile(path);
            if (!ship) {
                std::fprintf(stderr, "game: %s\n", LastErrorText().Utf8().c_str());
                return 1;
            }
        }
        const Ref<TImage> rock = MakeRock();
        const Ref<TAudioClip> blip = MakeBlip();

        const String bestFile = BestFile();
        const int savedBest = StringToInt(LoadText(bestFile));  // no file yet: "", which reads as 0
        int best = savedBest;

        float shipX = kWidth / 2, shipY = kHeight - 60;
        Rock rocks[] = {{0, shipY, 3, 0}, {100, 80, 2, 1.5f}, {500, 200, -2.5f, 1}, {300, 0, 1, 2.5f}};
        int hits = 0, frames = 0, clear = 0;  // clear: steps since the last hit
        bool touching = false;  // a hit counts once, when the ship first touches a rock

        // One update per step, exactly 60 a second; one picture per frame.
        const Ref<TFixedStep> step = NewFixedStep(kStepsPerSecond);
        while (!KeyWasHit(KEY_ESCAPE) && !WindowCloseRequested()) {
            for (int32_t n = WaitFrameTimer(step); n > 0; --n) {
                // Input: held arrow keys move the ship, within the window.
                const float speed = 4;
                if (KeyIsDown(KEY_LEFT)) shipX -= speed;
                if (KeyIsDown(KEY_RIGHT)) shipX += speed;
                if (KeyIsDown(KEY_UP)) shipY -= speed;
                if (KeyIsDown(KEY_DOWN)) shipY += speed;
                shipX = std::fmin(std::fmax(shipX, 16), kWidth - 16);
                shipY = std::fmin(std::fmax(shipY, 16), kHeight - 16);

                // Update: the rocks drift and wrap round; touching one is a hit.
                bool touched = false;
                for (Rock& r : rocks) {
                    r.x = std::fmod(r.x + r.dx + kWidth, kWidth);
                    r.y = std::fmod(r.y + r.dy + kHeight, kHeight);
                    touched = touched || ImagesOverlap(ship, shipX, shipY, 0, rock, r.x, r.y, 0);
                }
                if (touched && !touching) {
                    ++hits;
                    PlayClip(blip, nullptr);
                }
                touching = touched;
                clear = touched ? 0 : clear + 1;
                best = std::max(best, clear);
            }

            // Draw.
            SetClearColor(touching ? 60 : 10, 12, 30);
            ClearScreen();
            for (const Rock& r : rocks) DrawImageAt(rock, r.x, r.y);
            DrawImageAt(ship, shipX, shipY);
            char times[64];
            std::snprintf(times, sizeof times, "   clear %.1f s   best %.1f s", clear / double(kStepsPerSecond),
                          best / double(kStepsPerSecond));
            DrawText("hits: " + IntToString(hits) + times, 8, 8);
            DrawText("arrows steer, Escape leaves", 8, kHeight - 24);
            FlipFrame();
            ++frames;
        }
        // A save that fails (a full disk) costs the best time, not the game.
        if (best > savedBest && !bestFile.IsEmpty() && !SaveText(IntToString(best), bestFile))
            std::fprintf(stderr, "game: best time not kept: %s\n", LastErrorText().Utf8().c_str());
        std::printf("left after %d frames, %d hits, best %.1f s\n", frames, hits, best / double(kStepsPerSecond));
        return 0;
    });
}

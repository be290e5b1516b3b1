// The demo: an 800 x 600 display at 16 bits and 60 Hz; the picture tiled over
// the screen, then twice at the centre in red with a multiplying blend,
// spinning and pulsing, until Escape or a request to close the window.
//   korvagl-demo [picture]
// Without an argument the picture is the fixed path below, relative to the
// program's own directory (the build puts a sample picture there).
#include <cstdio>

#include "korvagl/korvagl.h"

namespace {

using namespace korva;

constexpr int32_t kWidth = 800;
constexpr int32_t kHeight = 600;
const char* const kPicture = "J:\\mirror\\Women\\Valdora\\115.jpg";

// The picture named on the command line: a relative path is taken relative
// to where the program was started (start-up made the program's directory
// current); absolute paths and URLs (protocol::path) stand as given.
String PicturePath() {
    const StringArray& args = ProgramArgs();
    if (args.size() < 2) return String(kPicture);
    const String& arg = args[1];
    if (arg.IsEmpty() || arg[0] == u'/' || arg.Find("::") >= 0) return arg;  // absolute paths and URLs as given
    return StartDir() + String("/") + arg;
}

Ref<TImage> ImageOf(int32_t handle) { return DownCast<TImage>(HandleToObject(handle)); }

int Demo() {
    OpenGraphics(kWidth, kHeight, 16, 60);
    SetAutoMidHandle(1);
    const String path = PicturePath();
    const int32_t image = ObjectToHandle(LoadImageFile(path, -1));
    if (!ImageOf(image)) {
        std::fprintf(stderr, "korvagl-demo: cannot load the picture \"%s\" (%s)\n", path.ToBytes().c_str(),
                     LastErrorText().ToUtf8().c_str());
        return -1;
    }
    float spin = 0.0f;
    float pulse = 0.0f;
    while (KeyWasHit(KEY_ESCAPE) == 0 && WindowCloseRequested() == 0) {
        ClearScreen();
        spin += 1.0f;
        SetDrawOrigin(static_cast<float>(kWidth / 2), static_cast<float>(kHeight / 2));
        SetDrawColor(255, 255, 255);
        SetBlendMode(2);
        TileImageAt(ImageOf(image), spin, spin, 0);
        SetDrawColor(255, 0, 0);
        SetDrawTransform(spin, static_cast<float>(0.5 * Sin(pulse)), static_cast<float>(0.5 * Cos(pulse)));
        SetBlendMode(5);
        DrawImageAt(ImageOf(image), 0, 0, 0);
        SetDrawTransform(spin, static_cast<float>(0.25 * Cos(pulse)), static_cast<float>(0.25 * Sin(pulse)));
        DrawImageAt(ImageOf(image), 0, 0, 0);
        pulse += 1.0f;
        FlipFrame();
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) { return korva::RunApplication(argc, argv, Demo); }

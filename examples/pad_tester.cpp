// A pad tester: draws the state of the first connected gamepad in the
// standard layout (buttons light up, sticks move their dots, triggers fill
// their bars) and rumbles it as hard as the triggers are pulled. Pads may
// come and go while it runs. Escape or the window's close button leaves.
//   pad_tester [mapping file]   (lines of the community mapping database)
#include <korvagl/korvagl.h>

#include <cstdio>
#include <iterator>

using namespace korva;

namespace {

const char* const kTypeNames[] = {"none",     "unmapped", "generic",     "Xbox 360",     "Xbox One",
                                  "PS3",      "PS4",      "PS5",         "Switch Pro",   "Joy-Con left",
                                  "Joy-Con right", "Joy-Con pair", "Luna", "Stadia", "Shield"};

// A round button: bright while down, dim otherwise.
void Button(int pad, int button, float x, float y, float size = 26) {
    if (GamepadIsDown(button, pad)) SetDrawColor(255, 210, 60);
    else SetDrawColor(70, 70, 90);
    DrawOval(x - size / 2, y - size / 2, size, size);
}

// A square button (d-pad, shoulders, back, start).
void Key(int pad, int button, float x, float y, float w, float h) {
    if (GamepadIsDown(button, pad)) SetDrawColor(255, 210, 60);
    else SetDrawColor(70, 70, 90);
    DrawRect(x, y, w, h);
}

// A stick: its well, and a dot where it points (after the dead zone).
void Stick(int pad, int xAxis, int press, float x, float y) {
    SetDrawColor(40, 40, 55);
    DrawOval(x - 40, y - 40, 80, 80);
    Button(pad, press, x + 30 * GamepadAxis(xAxis, pad), y + 30 * GamepadAxis(xAxis + 1, pad), 22);
}

// A trigger: a bar filled as far as it is pulled.
void Trigger(int pad, int axis, float x, float y) {
    SetDrawColor(40, 40, 55);
    DrawRect(x, y, 24, 80);
    SetDrawColor(90, 200, 120);
    const float pulled = GamepadAxis(axis, pad);
    DrawRect(x, y + 80 * (1 - pulled), 24, 80 * pulled);
}

void DrawPad(int pad) {
    Trigger(pad, PAD_TRIGGERLEFT, 130, 60);
    Trigger(pad, PAD_TRIGGERRIGHT, 486, 60);
    Key(pad, PAD_LEFTSHOULDER, 170, 110, 90, 18);
    Key(pad, PAD_RIGHTSHOULDER, 380, 110, 90, 18);
    Key(pad, PAD_BACK, 270, 170, 28, 14);
    Button(pad, PAD_GUIDE, 320, 177, 30);
    Key(pad, PAD_START, 342, 170, 28, 14);
    Key(pad, PAD_DPAD_UP, 190, 160, 22, 30);
    Key(pad, PAD_DPAD_DOWN, 190, 212, 22, 30);
    Key(pad, PAD_DPAD_LEFT, 160, 190, 30, 22);
    Key(pad, PAD_DPAD_RIGHT, 212, 190, 30, 22);
    Button(pad, PAD_Y, 450, 160);
    Button(pad, PAD_X, 420, 190);
    Button(pad, PAD_B, 480, 190);
    Button(pad, PAD_A, 450, 220);
    Stick(pad, PAD_LEFTX, PAD_LEFTSTICK, 250, 290);
    Stick(pad, PAD_RIGHTX, PAD_RIGHTSTICK, 390, 290);
}

}  // namespace

int main(int argc, char** argv) {
    return RunApplication(argc, argv, [] {
        if (ProgramArgs().size() > 1) {
            String path = ProgramArgs()[1];
            if (!path.IsEmpty() && path[0] != u'/') path = StartDir() + "/" + path;
            const int added = AddGamepadMappings(path);
            std::printf("%d mappings added\n", added);
            if (!LastErrorText().IsEmpty()) std::printf("%s\n", LastErrorText().ToUtf8().c_str());
        }
        SetWindowTitle("KorvaGL Pad Tester");
        OpenGraphics(640, 400, 0, 60);

        int frames = 0, arrivals = 0, presses = 0;
        while (!KeyWasHit(KEY_ESCAPE) && !WindowCloseRequested()) {
            arrivals += GamepadsChanged();
            int pad = 0;
            while (pad < GamepadCount() && !GamepadConnected(pad)) ++pad;

            SetClearColor(16, 16, 24);
            ClearScreen();
            SetBlendMode(BLEND_ALPHA);
            SetDrawColor(230, 230, 230);
            if (pad == GamepadCount()) {
                DrawText("No gamepad: plug one in.  Escape leaves.", 8, 8);
            } else {
                for (int b = 0; b < PAD_BUTTONS; ++b) presses += GamepadWasHit(b, pad);
                const int type = GamepadType(pad);
                const char* family = type < int(std::size(kTypeNames)) ? kTypeNames[type] : "other";
                DrawText("pad " + IntToString(pad) + ": " + GamepadName(pad) + " (" + family + ")", 8, 8);
                // Rumble with the triggers; a pad without motors says so.
                const float low = GamepadAxis(PAD_TRIGGERLEFT, pad), high = GamepadAxis(PAD_TRIGGERRIGHT, pad);
                const bool took = GamepadRumble(pad, low, high, 100);
                DrawText(String("presses: ") + IntToString(presses) + (took ? "   triggers rumble" : "   no rumble"),
                         8, 372);
                DrawPad(pad);
            }
            FlipFrame();
            ++frames;
        }
        std::printf("left after %d frames, %d pad arrivals and departures, %d presses\n", frames, arrivals, presses);
        return 0;
    });
}

// Input recordings as text: what KORVAGL_RECORD writes and KORVAGL_REPLAY
// reads. One event a line, so a person can read and edit a recording:
//
//   korvagl-input 1            header: format and version
//   frame-ms 16                the fixed clock's milliseconds per frame
//   seed 4660                  the random state at start
//   0 window focus
//   12 key down 80 mod=0       frame, kind, fields (an SDL scancode: Left)
//   12.3 text "a"              frame.pump: the pump within the frame
//   40 key up 80 mod=0
//   41 motion 100 200
//   41 joy 0 "Stick" buttons=15 axes=3 held=1 x=65535 y=32768
//                              a joystick port's state, when it changed
//   50 pad-arrive 0 type=1 mapped=1 held=0 axes=0,0,0,0,0,0 guid=0300... "Pad"
//   51 pad button down 0 0    a pad's device id, the button
//   ...
//   300 end                    the recorded run ended here
//
// Blank lines and text from " #" on are ignored. An event line of a kind this
// version does not know is kept as an unknown event and skipped on replay, so
// newer recordings still replay their known input. No SDL header is needed.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "system/joystick_native.h"

namespace korva::detail {

enum class InputKind : uint8_t {
    Key,        // code: scancode; down; mod; repeat
    Text,       // text: UTF-8
    Motion,     // x, y
    Button,     // code: button 1-255; down; x, y
    Wheel,      // x, y: notches; flipped
    Window,     // code: kWindowClose, kWindowFocus, kWindowBlur
    PadButton,  // which: the pad's device id; code: button; down
    PadAxis,    // which; code: axis; x: value -32768..32767
    PadArrive,  // which; code: PAD_TYPE_; flag: mapped; mod: buttons held; axes; guid; text: name
    PadRemap,   // the same fields: its mapping changed
    PadLeave,   // which
    Seed,       // x: the seed the program set
    JoyCount,   // x: what JoystickCount answered; code: the joystick query within the pump
    JoyPort,    // which: port 0-255; joy: its state (null: absent); code: as JoyCount
    End,        // the recorded run ended
    Unknown,    // a later kind: kept, skipped on replay
};

inline constexpr int32_t kWindowClose = 0;
inline constexpr int32_t kWindowFocus = 1;
inline constexpr int32_t kWindowBlur = 2;

struct RecordedEvent {
    uint64_t frame = 0;  // FlipFrame calls made before the event arrived
    uint32_t pump = 0;   // event pumps made within that frame before it
    InputKind kind = InputKind::Unknown;
    bool down = false;
    bool flag = false;  // key: auto-repeat; wheel: flipped
    int32_t code = 0;
    int32_t which = 0;
    int32_t mod = 0;
    int32_t x = 0;
    int32_t y = 0;
    std::string text;  // text input; a pad's name; for Unknown, the kind's name
    std::string guid;  // a pad's model: 0 to 32 hex digits
    std::array<int32_t, 6> axes{};  // a pad's axes when it arrived
    std::shared_ptr<const JoystickPortState> joy;
};

struct InputRecording {
    int32_t frameMs = 16;
    int32_t seed = 4660;
    std::vector<RecordedEvent> events;  // in order of arrival
};

inline constexpr int32_t kMostFrameMs = 1000;

// One event as its line, without the line end.
std::string FormatRecordedEvent(const RecordedEvent& event);
// The header lines, each ended by "\n".
std::string FormatRecordingHeader(int32_t frameMs, int32_t seed);
// A whole recording.
std::string FormatRecording(const InputRecording& recording);

// Parses a recording. False, with "line N: reason" in `error`, for a file
// that is not a recording or is damaged: a wrong header, a field out of
// range, events going back in time, a last line without its line end.
bool ParseRecording(const std::string& text, InputRecording& recording, std::string& error);

}  // namespace korva::detail

// KorvaGL: gamepads with a standard layout.
//
// Every pad reads as the same controller: four face buttons named by their
// place on a common console pad (PAD_A at the bottom, PAD_B right, PAD_X
// left, PAD_Y top, on every make; GamepadType tells which glyphs the pad
// prints on them), a d-pad, two shoulders, two clickable sticks, two
// triggers and the back, guide and start buttons. The layout comes from a
// mapping per device model: SDL's built-in database, the lines of the
// SDL_GAMECONTROLLERCONFIG environment variable (read when SDL's joystick
// part starts, at the first gamepad or joystick call), and files added with
// AddGamepadMappings.
//
// Pads are numbered from 0. A pad gets the lowest free number when it
// arrives (also the pads present when the gamepads start) and keeps it until
// it leaves; at most PAD_MAX are numbered at once (more wait for a number
// to come free). Arrivals and departures are seen by the event pump
// (PumpEvents, or any auto-polled query), so no call has to look for
// devices. A device without a mapping is numbered too:
// GamepadType gives PAD_TYPE_UNMAPPED, GamepadName says "(unmapped)", its
// buttons and axes read 0 here, and the raw joystick calls (joystick.h) read
// it as they read any joystick.
//
// The gamepads start on the first call of any function here; from then on
// the event pump follows them, reading the devices once per tick of the
// coarse clock (1 to 4 ms; devices keep their reports until read, so no
// press is lost). With AutoPoll non-zero every query pumps events first, as
// KeyIsDown does. Pads, buttons and axes out of range read 0; nothing here
// raises. Main thread only.
#pragma once

#include <cstdint>

#include "korvagl/app/string.h"

namespace korva {

// Buttons, by place.
inline constexpr int32_t PAD_A = 0;              // bottom face button
inline constexpr int32_t PAD_B = 1;              // right face button
inline constexpr int32_t PAD_X = 2;              // left face button
inline constexpr int32_t PAD_Y = 3;              // top face button
inline constexpr int32_t PAD_BACK = 4;           // also "select", "view", "share", "-"
inline constexpr int32_t PAD_GUIDE = 5;          // the maker's logo button
inline constexpr int32_t PAD_START = 6;          // also "menu", "options", "+"
inline constexpr int32_t PAD_LEFTSTICK = 7;      // left stick pressed in
inline constexpr int32_t PAD_RIGHTSTICK = 8;
inline constexpr int32_t PAD_LEFTSHOULDER = 9;
inline constexpr int32_t PAD_RIGHTSHOULDER = 10;
inline constexpr int32_t PAD_DPAD_UP = 11;
inline constexpr int32_t PAD_DPAD_DOWN = 12;
inline constexpr int32_t PAD_DPAD_LEFT = 13;
inline constexpr int32_t PAD_DPAD_RIGHT = 14;
// Buttons that only some pads have.
inline constexpr int32_t PAD_MISC1 = 15;         // capture, share or microphone button
inline constexpr int32_t PAD_PADDLE1 = 16;       // back paddles, upper right
inline constexpr int32_t PAD_PADDLE2 = 17;       // upper left
inline constexpr int32_t PAD_PADDLE3 = 18;       // lower right
inline constexpr int32_t PAD_PADDLE4 = 19;       // lower left
inline constexpr int32_t PAD_TOUCHPAD = 20;      // touchpad pressed
inline constexpr int32_t PAD_BUTTONS = 21;       // number of buttons

// Axes: sticks read -1 .. 1 (right and down positive), triggers 0 .. 1.
inline constexpr int32_t PAD_LEFTX = 0;
inline constexpr int32_t PAD_LEFTY = 1;
inline constexpr int32_t PAD_RIGHTX = 2;
inline constexpr int32_t PAD_RIGHTY = 3;
inline constexpr int32_t PAD_TRIGGERLEFT = 4;
inline constexpr int32_t PAD_TRIGGERRIGHT = 5;
inline constexpr int32_t PAD_AXES = 6;           // number of axes

// Pad families, for choosing button glyphs.
inline constexpr int32_t PAD_TYPE_NONE = 0;      // no pad with that number
inline constexpr int32_t PAD_TYPE_UNMAPPED = 1;  // a device without a mapping
inline constexpr int32_t PAD_TYPE_GENERIC = 2;   // mapped, family unknown (also virtual pads)
inline constexpr int32_t PAD_TYPE_XBOX360 = 3;
inline constexpr int32_t PAD_TYPE_XBOXONE = 4;
inline constexpr int32_t PAD_TYPE_PS3 = 5;
inline constexpr int32_t PAD_TYPE_PS4 = 6;
inline constexpr int32_t PAD_TYPE_PS5 = 7;
inline constexpr int32_t PAD_TYPE_SWITCH_PRO = 8;
inline constexpr int32_t PAD_TYPE_JOYCON_LEFT = 9;
inline constexpr int32_t PAD_TYPE_JOYCON_RIGHT = 10;
inline constexpr int32_t PAD_TYPE_JOYCON_PAIR = 11;
inline constexpr int32_t PAD_TYPE_LUNA = 12;
inline constexpr int32_t PAD_TYPE_STADIA = 13;
inline constexpr int32_t PAD_TYPE_SHIELD = 14;

inline constexpr int32_t PAD_MAX = 16;           // pads numbered at once

// One more than the highest number of a connected pad; 0 when none. A loop
// up to it visits every pad; numbers in between may be free (GamepadConnected).
int32_t GamepadCount();
// 1 while a pad (mapped or not) has this number, else 0.
int32_t GamepadConnected(int32_t pad = 0);
// Arrivals plus departures since the last call (then 0; the pads present
// when the gamepads start count as arrivals): non-zero when the set of pads
// changed, for example to pause when a player's pad leaves.
int32_t GamepadsChanged();
// The pad's name from its mapping (UTF-8 decoded); for a device without a
// mapping its device name followed by " (unmapped)"; "" when no pad.
String GamepadName(int32_t pad = 0);
// A PAD_TYPE_ value.
int32_t GamepadType(int32_t pad = 0);
// The device model's GUID as a mapping line starts with (32 hexadecimal
// digits), for writing a mapping of an unmapped device; "" when no pad.
String GamepadGuid(int32_t pad = 0);

// 1 while the button is down, else 0.
int32_t GamepadIsDown(int32_t button, int32_t pad = 0);
// Presses of the button since the last call for it (then 0), like
// KeyWasHit: a press and release between two calls counts.
int32_t GamepadWasHit(int32_t button, int32_t pad = 0);
// The axis after its dead zone: a stick's position inside the dead zone
// (measured on both of its axes together) reads 0, and the rest of its
// travel is stretched to reach 1 at the edge; a trigger below its dead zone
// reads 0, above it 0 .. 1.
float GamepadAxis(int32_t axis, int32_t pad = 0);
// The dead zones as a fraction of the travel: 0.2 for the sticks and 0.1
// for the triggers at start. Values are limited to 0 .. 0.9 (NaN counts as 0).
void SetGamepadDeadZone(float sticks, float triggers);

// Runs the pad's low- and high-frequency motors at strengths 0 .. 1 for
// `milliseconds` (0 stops them). 1 when the pad took it; 0 when it has no
// motors or there is no such pad.
int32_t GamepadRumble(int32_t pad, float low, float high, int32_t milliseconds);

// Reads mapping lines (the community database's format: one device per
// line, "GUID,name,a:b0,b:b1,...", optionally ending in "platform:Linux,")
// from a stream URL and adds them, replacing the mapping of a model already
// known. Lines for another platform, comments (#) and blank lines are
// passed over. Returns how many mappings were added or replaced. A
// malformed line or one longer than 1024 bytes is refused and the others
// are taken; a text of more than 10000 lines or 4 MiB is refused as a whole.
// A refused line changes no mapping. Any refusal (and a URL that does not
// open) is recorded in LastErrorText, with the number of the first line
// refused; a call that refuses nothing clears it. Pads already connected
// take their new mapping at once.
int32_t AddGamepadMappings(const String& url);

// The module initialiser ("gamepads"). The gamepads themselves start on first use.
int InitGamepads();

}  // namespace korva

// The gamepad queries: the polled gamepad state read after an auto-poll.
#include "korvagl/system/gamepad.h"

#include <algorithm>
#include <cmath>

#include "korvagl/app/last_error.h"
#include "korvagl/app/modules.h"
#include "korvagl/stream/stream.h"
#include "korvagl/system/system_api.h"
#include "system/gamepad_mappings.h"
#include "system/gamepad_native.h"
#include "system/gamepad_state.h"

namespace korva {
namespace {

using detail::PadSlot;

static_assert(PAD_MAX == detail::kPadSlots && PAD_BUTTONS == detail::kPadButtons && PAD_AXES == detail::kPadAxes);

float stickZone = 0.2f;
float triggerZone = 0.1f;

// The state after starting the gamepads and, with AutoPoll, pumping events.
const detail::GamepadState& Polled() {
    detail::StartGamepads();
    if (AutoPoll) PumpEvents();
    return detail::TheGamepadState();
}

// The pad's slot, or null for a number out of range or free.
const PadSlot* Pad(const detail::GamepadState& state, int32_t pad) {
    if (pad < 0 || pad >= PAD_MAX || state.pads[pad].device < 0) return nullptr;
    return &state.pads[pad];
}

float Unit(int16_t raw) { return std::clamp(raw / 32767.0f, -1.0f, 1.0f); }

float Zone(float zone) { return std::isnan(zone) ? 0.0f : std::clamp(zone, 0.0f, 0.9f); }

// One axis of a stick, with the dead zone taken on the stick's distance from
// the centre so that a diagonal push is not cut to a cross, and positions
// beyond the full circle pulled onto it.
float StickAxis(const PadSlot& pad, int32_t axis) {
    const int32_t first = axis & ~1;
    const float x = Unit(pad.axes[first]);
    const float y = Unit(pad.axes[first + 1]);
    const float distance = std::hypot(x, y);
    if (distance <= stickZone || distance == 0.0f) return 0.0f;
    const float scale = (std::min(distance, 1.0f) - stickZone) / (1.0f - stickZone) / distance;
    return std::clamp((axis & 1 ? y : x) * scale, -1.0f, 1.0f);
}

float TriggerAxis(const PadSlot& pad, int32_t axis) {
    const float t = std::clamp(Unit(pad.axes[axis]), 0.0f, 1.0f);
    return t <= triggerZone ? 0.0f : (t - triggerZone) / (1.0f - triggerZone);
}

uint16_t Strength(float fraction) {
    if (!(fraction > 0.0f)) return 0;  // also NaN
    return static_cast<uint16_t>(std::lround(std::min(fraction, 1.0f) * 65535.0f));
}

}  // namespace

int32_t GamepadCount() { return Polled().count; }

int32_t GamepadConnected(int32_t pad) { return Pad(Polled(), pad) ? 1 : 0; }

int32_t GamepadsChanged() {
    Polled();
    detail::GamepadState& state = detail::TheGamepadState();
    const int32_t changes = state.changes;
    state.changes = 0;
    return changes;
}

String GamepadName(int32_t pad) {
    const PadSlot* slot = Pad(Polled(), pad);
    if (!slot) return String();
    return String::FromUtf8(slot->mapped ? slot->name : slot->name + " (unmapped)");
}

int32_t GamepadType(int32_t pad) {
    const PadSlot* slot = Pad(Polled(), pad);
    return slot ? slot->type : PAD_TYPE_NONE;
}

String GamepadGuid(int32_t pad) {
    const PadSlot* slot = Pad(Polled(), pad);
    return slot ? String(slot->guid) : String();
}

int32_t GamepadIsDown(int32_t button, int32_t pad) {
    const detail::GamepadState& state = Polled();
    if (pad < 0 || pad >= PAD_MAX || button < 0 || button >= PAD_BUTTONS) return 0;
    return (state.pads[pad].held >> button) & 1;
}

int32_t GamepadWasHit(int32_t button, int32_t pad) {
    Polled();
    if (pad < 0 || pad >= PAD_MAX || button < 0 || button >= PAD_BUTTONS) return 0;
    int32_t& hits = detail::TheGamepadState().pads[pad].hits[button];
    const int32_t count = hits;
    hits = 0;
    return count;
}

float GamepadAxis(int32_t axis, int32_t pad) {
    const PadSlot* slot = Pad(Polled(), pad);
    if (!slot || axis < 0 || axis >= PAD_AXES) return 0.0f;
    return axis >= PAD_TRIGGERLEFT ? TriggerAxis(*slot, axis) : StickAxis(*slot, axis);
}

void SetGamepadDeadZone(float sticks, float triggers) {
    stickZone = Zone(sticks);
    triggerZone = Zone(triggers);
}

int32_t GamepadRumble(int32_t pad, float low, float high, int32_t milliseconds) {
    detail::StartGamepads();
    const PadSlot* slot = Pad(detail::TheGamepadState(), pad);
    if (!slot) return 0;
    // Strengths with no time would run until the next request: that is a stop.
    if (milliseconds <= 0) low = high = 0.0f;
    const uint32_t ms = milliseconds > 0 ? static_cast<uint32_t>(milliseconds) : 0;
    return detail::RumbleGamepadDevice(slot->device, Strength(low), Strength(high), ms) ? 1 : 0;
}

int32_t AddGamepadMappings(const String& url) {
    detail::ClearLastErrorText();
    const String name = detail::Quoted(url);
    if (!detail::StartGamepads()) {
        detail::SetLastErrorText(name + ": gamepads are not available");
        return 0;
    }
    Ref<TByteStream> stream = OpenReadStream(url);
    if (!stream) return 0;  // the opener said why
    // One byte past the limit tells a text of exactly the limit from a longer one.
    std::string text;
    bool failed = false;
    try {
        char chunk[16384];
        while (text.size() <= detail::kMaxMappingBytes) {
            const int32_t got = stream->Read(chunk, sizeof chunk);
            if (got <= 0) break;
            text.append(chunk, static_cast<size_t>(got));
        }
        failed = stream->Eof() < 0;
    } catch (const TFault&) {
        failed = true;
    }
    try {
        stream->Close();
    } catch (const TFault&) {
    }
    if (failed) {
        detail::SetLastErrorTextIfNone(name + ": the mappings could not be read");
        return 0;
    }

    const detail::MappingText mappings = detail::SplitMappingText(text, detail::ControllerPlatform());
    if (!mappings.refusal.empty()) {
        detail::SetLastErrorText(name + ": " + String(mappings.refusal) + ", no mapping taken");
        return 0;
    }
    std::string refusal;
    const int32_t taken = detail::AddControllerMappings(mappings.lines, refusal);
    if (mappings.refused > 0) {
        detail::SetLastErrorText(name + ": " + String(std::to_string(mappings.refused)) +
                                 (mappings.refused == 1 ? " line" : " lines") + " refused, the first at line " +
                                 String(std::to_string(mappings.firstRefusedLine)) + ": " +
                                 String(mappings.firstReason));
    } else if (!refusal.empty()) {
        detail::SetLastErrorText(name + ": " + String(refusal));
    }
    return taken;
}

int InitGamepads() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitStreams();
    InitSystemAPI();
    detail::NoteModuleStarted("gamepads");
    return 0;
}

}  // namespace korva

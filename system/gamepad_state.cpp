// The gamepad filter: device events in, numbered pads with held flags, press
// counts and axis positions out.
#include "system/gamepad_state.h"

#include <climits>

namespace korva::detail {
namespace {

void CountChange(GamepadState& state) {
    if (state.changes < INT32_MAX) ++state.changes;
}

void UpdateCount(GamepadState& state) {
    state.count = 0;
    for (int pad = 0; pad < kPadSlots; ++pad) {
        if (state.pads[pad].device >= 0) state.count = pad + 1;
    }
}

void TakeState(PadSlot& slot, const GamepadEvent& event) {
    slot.held = event.held & ((1u << kPadButtons) - 1);
    for (int axis = 0; axis < kPadAxes; ++axis) slot.axes[axis] = event.axes[axis];
}

int Arrive(GamepadState& state, const GamepadEvent& event) {
    if (event.device < 0 || PadOfDevice(state, event.device) >= 0) return -1;
    for (int pad = 0; pad < kPadSlots; ++pad) {
        PadSlot& slot = state.pads[pad];
        if (slot.device >= 0) continue;
        slot = PadSlot{};
        slot.device = event.device;
        slot.mapped = event.mapped;
        slot.type = event.type;
        slot.name = event.name;
        slot.guid = event.guid;
        TakeState(slot, event);
        CountChange(state);
        UpdateCount(state);
        return pad;
    }
    return -1;  // every number taken
}

}  // namespace

GamepadState& TheGamepadState() {
    static GamepadState state;
    return state;
}

int PadOfDevice(const GamepadState& state, int32_t device) {
    if (device < 0) return -1;
    for (int pad = 0; pad < kPadSlots; ++pad) {
        if (state.pads[pad].device == device) return pad;
    }
    return -1;
}

int GamepadFilter(GamepadState& state, const GamepadEvent& event) {
    if (event.kind == GamepadEvent::Arrived) return Arrive(state, event);
    const int pad = PadOfDevice(state, event.device);
    if (pad < 0) return -1;
    PadSlot& slot = state.pads[pad];
    const bool button = event.control >= 0 && event.control < kPadButtons;
    switch (event.kind) {
        case GamepadEvent::Left:
            slot = PadSlot{};
            CountChange(state);
            UpdateCount(state);
            return pad;
        case GamepadEvent::Remapped:
            // The old layout's state means nothing in the new one.
            slot.mapped = event.mapped;
            slot.type = event.type;
            slot.name = event.name;
            TakeState(slot, event);
            return pad;
        case GamepadEvent::ButtonDown: {
            if (!button) return -1;
            const uint32_t bit = 1u << event.control;
            // A press counts once until the button is released again.
            if (!(slot.held & bit) && slot.hits[event.control] < INT32_MAX) ++slot.hits[event.control];
            slot.held |= bit;
            return pad;
        }
        case GamepadEvent::ButtonUp:
            if (!button) return -1;
            slot.held &= ~(1u << event.control);
            return pad;
        case GamepadEvent::AxisMoved:
            if (event.control < 0 || event.control >= kPadAxes) return -1;
            slot.axes[event.control] = static_cast<int16_t>(
                event.value < INT16_MIN ? INT16_MIN : (event.value > INT16_MAX ? INT16_MAX : event.value));
            return pad;
        case GamepadEvent::Arrived: break;
    }
    return -1;
}

void ClearGamepads(GamepadState& state) { state = GamepadState{}; }

}  // namespace korva::detail

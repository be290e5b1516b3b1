// Joystick readings recorded and replayed through the input tap.
#include "system/joystick_tap.h"

#include <memory>
#include <vector>

#include "system/input_record_format.h"
#include "system/input_tap.h"

namespace korva::detail {
namespace {

constexpr int32_t kCountSlot = kJoystickDevicePorts;  // the count's place beside the ports

struct JoystickTap {
    // The stamp of the last query and the queries made at it.
    uint64_t frame = ~uint64_t{0};
    uint32_t pump = 0;
    int32_t queries = 0;
    // Recording: the last state written per port (null: none yet, absent) and count.
    std::shared_ptr<const JoystickPortState> written[kJoystickDevicePorts];
    int32_t writtenCount = 0;
    // Replay: the recording's joy lines per port and for the count, and how
    // many of each are in force.
    bool indexed = false;
    std::vector<const RecordedEvent*> lines[kJoystickDevicePorts + 1];
    size_t inForce[kJoystickDevicePorts + 1] = {};
} jt;

const JoystickPortState kAbsent;

// The query's place within the current frame and pump.
int32_t NextQuery() {
    const uint64_t frame = TapFramesShown();
    const uint32_t pump = TapPumpsInFrame();
    if (frame != jt.frame || pump != jt.pump) {
        jt.frame = frame;
        jt.pump = pump;
        jt.queries = 0;
    }
    const int32_t query = jt.queries;
    if (jt.queries < 0x7FFFFFFF) ++jt.queries;
    return query;
}

void WriteLine(RecordedEvent& e, int32_t query) {
    e.frame = jt.frame;
    e.pump = jt.pump;
    e.code = query;
    TapWriteEvent(e);
}

// The last replayed line of a slot at or before this query; null before the first.
const RecordedEvent* InForce(int32_t slot, int32_t query) {
    if (!jt.indexed) {
        jt.indexed = true;
        for (const RecordedEvent& e : TapReplayRecording().events) {
            if (e.kind == InputKind::JoyCount) jt.lines[kCountSlot].push_back(&e);
            else if (e.kind == InputKind::JoyPort) jt.lines[e.which].push_back(&e);
        }
    }
    const auto& lines = jt.lines[slot];
    size_t& n = jt.inForce[slot];
    while (n < lines.size()) {
        const RecordedEvent& e = *lines[n];
        const bool due = e.frame < jt.frame || (e.frame == jt.frame && (e.pump < jt.pump ||
                                                                        (e.pump == jt.pump && e.code <= query)));
        if (!due) break;
        ++n;
    }
    return n ? lines[n - 1] : nullptr;
}

}  // namespace

bool JoystickTapped() { return TapRecording() || TapReplaying(); }

int32_t TappedJoystickCount() {
    const int32_t query = NextQuery();
    if (TapReplaying()) {
        const RecordedEvent* e = InForce(kCountSlot, query);
        return e ? e->x : 0;
    }
    const int32_t count = JoystickDeviceCount();
    if (count != jt.writtenCount) {
        RecordedEvent e;
        e.kind = InputKind::JoyCount;
        e.x = count;
        WriteLine(e, query);
        jt.writtenCount = count;
    }
    return count;
}

const JoystickPortState& TappedJoystickPort(int32_t port) {
    if (port < 0 || port >= kJoystickDevicePorts) return kAbsent;
    const int32_t query = NextQuery();
    if (TapReplaying()) {
        const RecordedEvent* e = InForce(port, query);
        return e && e->joy ? *e->joy : kAbsent;
    }
    auto state = std::make_shared<const JoystickPortState>(ReadJoystickPort(port));
    const JoystickPortState& last = jt.written[port] ? *jt.written[port] : kAbsent;
    if (*state != last) {
        RecordedEvent e;
        e.kind = InputKind::JoyPort;
        e.which = port;
        e.joy = state;
        WriteLine(e, query);
        jt.written[port] = std::move(state);
    }
    return jt.written[port] ? *jt.written[port] : kAbsent;
}

}  // namespace korva::detail

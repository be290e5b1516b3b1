// Input recordings as text: every kind survives a round trip, damaged and
// hostile files are refused with the line and the reason, and kinds from a
// later version are kept and passed over.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "system/input_record_format.h"

namespace korva {
namespace {

using namespace detail;

RecordedEvent Event(uint64_t frame, uint32_t pump, InputKind kind) {
    RecordedEvent e;
    e.frame = frame;
    e.pump = pump;
    e.kind = kind;
    return e;
}

TEST(InputRecordTest, EveryKindRoundTrips) {
    InputRecording r;
    r.frameMs = 20;
    r.seed = -5;
    auto key = Event(0, 0, InputKind::Key);
    key.down = true, key.code = 80, key.mod = 0x1001, key.flag = true;
    auto text = Event(0, 2, InputKind::Text);
    text.text = "a\"\\\n\xC3\xA9";
    auto motion = Event(3, 0, InputKind::Motion);
    motion.x = -7, motion.y = 70000;
    auto button = Event(3, 1, InputKind::Button);
    button.down = false, button.code = 3, button.x = 1, button.y = 2;
    auto wheel = Event(4, 0, InputKind::Wheel);
    wheel.x = 0, wheel.y = -2, wheel.flag = true;
    auto window = Event(4, 0, InputKind::Window);
    window.code = kWindowBlur;
    auto pad = Event(5, 0, InputKind::PadButton);
    pad.down = true, pad.which = 2, pad.code = 11;
    auto axis = Event(5, 0, InputKind::PadAxis);
    axis.which = 2, axis.code = 4, axis.x = -32768;
    auto arrive = Event(5, 1, InputKind::PadArrive);
    arrive.which = 3, arrive.code = 4, arrive.flag = true, arrive.mod = 0x1FFFFF, arrive.guid = "03000000aBcD";
    arrive.axes = {-32768, 0, 1, 2, 3, 32767}, arrive.text = "Pad \"One\"";
    auto remap = arrive;
    remap.kind = InputKind::PadRemap, remap.flag = false, remap.guid.clear(), remap.text.clear();
    auto leave = Event(5, 2, InputKind::PadLeave);
    leave.which = 3;
    auto seed = Event(6, 0, InputKind::Seed);
    seed.x = 123456;
    auto count = Event(6, 0, InputKind::JoyCount);
    count.x = 2;
    auto stick = Event(6, 0, InputKind::JoyPort);
    JoystickPortState state;
    state.present = true, state.name = "St\"ick", state.buttonMask = -1, state.axisMask = 9;
    state.reading.buttons = 0x80000001u, state.reading.hat = 4500, state.reading.hatReported = true;
    state.reading.reportedAxes = 0b100001, state.reading.axisPositions[0] = 7, state.reading.axisMaximum[0] = 65535;
    state.reading.axisPositions[5] = 9, state.reading.axisMinimum[5] = 1, state.reading.axisMaximum[5] = 10;
    stick.which = 255, stick.code = 3, stick.joy = std::make_shared<JoystickPortState>(state);
    auto gone = Event(7, 0, InputKind::JoyPort);
    gone.which = 1;
    r.events = {key,    text,  motion, button, wheel, window, pad,  axis,
                arrive, remap, leave,  seed,   count, stick,  gone, Event(9, 0, InputKind::End)};

    const std::string file = FormatRecording(r);
    EXPECT_EQ(file.substr(0, file.find('\n', 40) + 1), "korvagl-input 1\nframe-ms 20\nseed -5\n0 key down 80 mod=4097 repeat\n");
    EXPECT_NE(file.find("0.2 text \"a\\\"\\\\\\x0A\xC3\xA9\"\n"), std::string::npos) << file;
    InputRecording back;
    std::string error;
    ASSERT_TRUE(ParseRecording(file, back, error)) << error;
    EXPECT_EQ(FormatRecording(back), file);
    EXPECT_EQ(back.frameMs, 20);
    EXPECT_EQ(back.seed, -5);
    ASSERT_EQ(back.events.size(), r.events.size());
    EXPECT_EQ(back.events[1].text, text.text);
    EXPECT_EQ(back.events[2].y, 70000);
    EXPECT_EQ(back.events[7].x, -32768);
    EXPECT_NE(file.find("5.1 pad-arrive 3 type=4 mapped=1 held=2097151 axes=-32768,0,1,2,3,32767 guid=03000000aBcD "
                        "\"Pad \\\"One\\\"\"\n"),
              std::string::npos)
        << file;
    EXPECT_EQ(back.events[8].axes, arrive.axes);
    EXPECT_EQ(back.events[8].text, arrive.text);
    EXPECT_NE(file.find("\n6 joy count 2\n6 joy 255 \"St\\\"ick\" buttons=-1 axes=9 held=2147483649 x=7 v=9/1/10 "
                        "hat=4500 at=3\n7 joy 1 absent\n"),
              std::string::npos)
        << file;
    ASSERT_TRUE(back.events[13].joy);
    EXPECT_EQ(*back.events[13].joy, state);
    EXPECT_FALSE(back.events[14].joy);
}

TEST(InputRecordTest, CommentsBlankLinesAndLaterKindsAreAccepted) {
    InputRecording r;
    std::string error;
    ASSERT_TRUE(ParseRecording("# made by hand\nkorvagl-input 1\r\nframe-ms 16\nseed 4660\n\n"
                               "10 key down 80 mod=0  # Left\n12 touch 5 7 pressure=0.5\n13 text \"#\"\n"
                               "13 text \"\\\\\"  # a backslash\n14 end\n",
                               r, error))
        << error;
    ASSERT_EQ(r.events.size(), 5u);
    EXPECT_EQ(r.events[1].kind, InputKind::Unknown);
    EXPECT_EQ(r.events[1].text, "touch");
    EXPECT_EQ(r.events[2].text, "#");
    EXPECT_EQ(r.events[3].text, "\\");
}

TEST(InputRecordTest, DamagedAndHostileFilesAreRefusedWithLineAndReason) {
    const std::string head = "korvagl-input 1\nframe-ms 16\nseed 1\n";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "line 1: empty file"},
        {"PNG\x89\n", "line 1: not a korvagl-input recording"},
        {"korvagl-input 2\n", "line 1: version 2 is newer"},
        {"korvagl-input 1\nseed 1\n", "line 2: expected frame-ms"},
        {"korvagl-input 1\nframe-ms 0\nseed 1\n", "line 2: frame-ms out of range"},
        {"korvagl-input 1\nframe-ms 16\n", "line 3: truncated header"},
        {head + "5 key down 80 mod=0", "line 4: truncated"},
        {head + "5 key down 80 mod=0\n4 key up 80 mod=0\n", "line 5: events must not go back"},
        {head + "5 key sideways 80 mod=0\n", "line 4: expected down or up"},
        {head + "5 key down 9999 mod=0\n", "line 4: scancode out of range"},
        {head + "5 key down 80\n", "line 4: missing modifiers"},
        {head + "5 button down 0 1 1\n", "line 4: button out of range"},
        {head + "5 motion 1 99999999999\n", "line 4: y out of range"},
        {head + "5 text \"abc\n", "line 4: text has no closing quote"},
        {head + "5 text \"\\q\"\n", "line 4: unknown escape"},
        {head + "5 window open\n", "line 4: expected close, focus or blur"},
        {head + "x5 end\n", "line 4: bad frame number"},
        {head + "5 motion 1 2 3\n", "line 4: unexpected text"},
        {head + "5 end\n6 motion 1 2\n", "line 5: event after the end"},
        {head + "5 joy 256 absent\n", "line 4: joystick port out of range"},
        {head + "5 joy count 257\n", "line 4: joystick count out of range"},
        {head + "5 joy 0 here\n", "line 4: expected a quoted joystick name or absent"},
        {head + "5 joy 0 \"S\" buttons=1 axes=1\n", "line 4: expected held="},
        {head + "5 joy 0 \"S\" buttons=1 axes=1 held=0 y=1 x=1\n", "line 4: joystick fields out of order"},
        {head + "5 joy 0 \"S\" buttons=1 axes=1 held=0 x=1/2\n", "line 4: joystick axis out of range"},
        {head + "5 joy 0 \"S\" buttons=1 axes=1 held=0 hat=-1\n", "line 4: joystick hat out of range"},
        {head + "5 joy 0 absent at=0\n", "line 4: joystick query out of range"},
        {head + "5 joy 0 absent at=2 x\n", "line 4: unexpected text"},
        {head + "5 joy 0 absent at=2\n5 joy 0 absent at=1\n", "line 5: joystick readings must not go back"},
        {head + "5 joy 0 \"" + std::string(256, 'n') + "\" buttons=1 axes=1 held=0\n", "line 4: joystick name longer"},
        {head + "5 K\xFF\n", "line 4: bad event kind"},
        {head + "5 pad-arrive 0 type=1 mapped=2 held=0 axes=0,0,0,0,0,0 guid= \"\"\n", "line 4: mapped out of range"},
        {head + "5 pad-arrive 0 type=1 mapped=1 held=0 axes=0,0,0,0,0 guid= \"\"\n", "line 4: axes must be six"},
        {head + "5 pad-arrive 0 type=1 mapped=1 held=0 axes=0,0,0,0,0,0 guid=xyz \"\"\n", "line 4: guid must be"},
        {head + "5 pad-remap 0 type=1 mapped=1 held=0 axes=0,0,0,0,0,0 guid=00\n", "line 4: text must be quoted"},
        {head + "5 pad-leave -1\n", "line 4: pad out of range"},
        {head + std::string(5000, '1') + "\n", "line 4: line too long"},
        {head + std::string("5 end\0\n", 7), "line 4: NUL byte"},
    };
    for (const auto& [text, reason] : cases) {
        InputRecording r;
        std::string error;
        EXPECT_FALSE(ParseRecording(text, r, error)) << reason;
        EXPECT_EQ(error.substr(0, reason.size()), reason) << error;
    }
}

}  // namespace
}  // namespace korva

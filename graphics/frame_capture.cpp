// KORVAGL_CAPTURE: pictures of chosen frames saved as PNG, for comparing a
// run with golden images.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "graphics/draw_state.h"
#include "korvagl/app/faults.h"
#include "korvagl/app/last_error.h"
#include "korvagl/graphics/drawing2d.h"
#include "korvagl/system/replay.h"

namespace korva::detail {
namespace {

struct Capture {
    bool read = false;
    std::string dir;
    std::set<uint64_t> frames;
} capture;

// "dir:10,60,300": the directory is everything before the last colon.
void ReadSetting() {
    capture.read = true;
    const char* value = std::getenv("KORVAGL_CAPTURE");
    if (!value || !*value) return;
    const std::string setting = value;
    const size_t colon = setting.rfind(':');
    const auto refuse = [&](const std::string& why) {
        RaiseRuntimeError(String("KORVAGL_CAPTURE=") + String(setting) + ": " + String(why));
    };
    if (colon == std::string::npos || colon == 0) refuse("expected dir:frame,frame,...");
    std::set<uint64_t> frames;
    size_t at = colon + 1;
    while (true) {
        const size_t comma = setting.find(',', at);
        const std::string item = setting.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        char* end = nullptr;
        const unsigned long long frame = std::strtoull(item.c_str(), &end, 10);
        if (item.empty() || *end != '\0' || item[0] == '-' || frame == 0 || frame > (1ull << 40))
            refuse("frame numbers are whole numbers from 1");
        frames.insert(frame);
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
    std::error_code error;
    capture.dir = setting.substr(0, colon);
    std::filesystem::create_directories(capture.dir, error);
    if (error) refuse("cannot make the directory: " + error.message());
    capture.frames = std::move(frames);
}

}  // namespace

void CaptureFrameIfListed() {
    if (!capture.read) ReadSetting();
    if (capture.frames.empty()) return;
    const uint64_t frame = FramesShown() + 1;  // the one this flip shows
    if (capture.frames.erase(frame) == 0) return;
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%06llu.png", static_cast<unsigned long long>(frame));
    const std::string path = capture.dir + name;
    if (!SaveScreenshot(String(path))) {
        std::fprintf(stderr, "capture: frame %llu not saved: %s\n", static_cast<unsigned long long>(frame),
                     LastErrorText().Utf8().c_str());
    }
}

}  // namespace korva::detail

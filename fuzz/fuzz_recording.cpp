// Arbitrary bytes as an input recording (KORVAGL_REPLAY). A refused file
// names a line and a reason; an accepted one writes back to a text that
// reads as the same recording.
#include <cstdlib>
#include <string>

#include "system/input_record_format.h"

using namespace korva;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    detail::InputRecording recording;
    std::string error;
    if (!detail::ParseRecording(text, recording, error)) {
        if (error.rfind("line ", 0) != 0) std::abort();
        return 0;
    }
    const std::string written = detail::FormatRecording(recording);
    detail::InputRecording again;
    if (!detail::ParseRecording(written, again, error)) std::abort();
    if (detail::FormatRecording(again) != written || again.events.size() != recording.events.size()) std::abort();
    return 0;
}

// Stream reading for the image decoders.
#include "pixmap/decoder_io.h"

#include <climits>

#include "korvagl/app/last_error.h"

namespace korva::detail {
namespace {
thread_local const String* sourceName = nullptr;  // of the innermost ReadPixmap call
}  // namespace

void RefuseImageData(const String& cause) {
    SetLastErrorText((sourceName ? *sourceName : String("stream")) + ": " + cause);
}

void RefuseImageSize(const char* format, int64_t width, int64_t height) {
    const String size = IntToString(width) + " x " + IntToString(height);
    if (width < 1 || height < 1) {
        RefuseImageData(String(format) + " header gives no image size (" + size + ")");
    } else {
        RefuseImageData("image too large (" + size + ")");
    }
}

DecodingSource::DecodingSource(const String& name) : outer_(sourceName) { sourceName = &name; }
DecodingSource::~DecodingSource() { sourceName = outer_; }

int32_t ReadAvailable(TByteStream& stream, void* buffer, int32_t count) {
    auto* out = static_cast<uint8_t*>(buffer);
    int32_t done = 0;
    while (done < count && !stream.Eof()) {
        const int32_t n = stream.Read(out + done, count - done);
        if (n <= 0) throw TStreamReadError();
        done += n < count - done ? n : count - done;
    }
    return done;
}

size_t StreamSource::Read(void* buffer, size_t count) noexcept {
    if (fault_) return 0;
    auto* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    try {
        while (done < count) {
            const size_t want = count - done < INT32_MAX ? count - done : INT32_MAX;
            const int32_t n = ReadAvailable(stream_, out + done, static_cast<int32_t>(want));
            done += static_cast<size_t>(n);
            if (static_cast<size_t>(n) < want) break;
        }
    } catch (...) {
        fault_ = std::current_exception();
        return 0;
    }
    return done;
}

void StreamSource::RethrowFault() const {
    if (fault_) std::rethrow_exception(fault_);
}

}  // namespace korva::detail

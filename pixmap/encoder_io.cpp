// Stream writing and row conversion for the image encoders.
#include "pixmap/encoder_io.h"

#include <algorithm>
#include <climits>

namespace korva::detail {

bool StreamSink::Write(const void* data, size_t count) noexcept {
    if (fault_) return false;
    try {
        WriteAll(stream_, data, count);
        return true;
    } catch (...) {
        fault_ = std::current_exception();
        return false;
    }
}

void StreamSink::RethrowFault() const {
    if (fault_) std::rethrow_exception(fault_);
}

RowsAs::RowsAs(const TPixmap& pixmap, int32_t format) : pixmap_(pixmap), format_(format) {
    if (pixmap.format != format) buffer_.resize(static_cast<size_t>(pixmap.width) * PixelBytes[format]);
}

const uint8_t* RowsAs::Row(int32_t y) {
    const uint8_t* row = pixmap_.PixelAddress(0, y);
    if (pixmap_.format == format_) return row;
    ConvertPixelRun(row, pixmap_.format, buffer_.data(), format_, pixmap_.width);
    return buffer_.data();
}

void WriteAll(TByteStream& stream, const void* data, size_t count) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (count > 0) {
        const auto chunk = static_cast<int32_t>(std::min<size_t>(count, INT32_MAX));
        stream.WriteFully(bytes, chunk);
        bytes += chunk;
        count -= static_cast<size_t>(chunk);
    }
}

}  // namespace korva::detail

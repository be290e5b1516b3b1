// HTTP bodies in chunks: a size line in hex, that many bytes of data and a
// line end, again and again until a chunk of size 0, then trailer lines up
// to an empty one. The framing is small, so it is read through a buffer and
// taken a byte at a time; the data go straight to the reader when nothing is
// buffered.
#include "stream/http_chunked.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "korvagl/stream/http_stream.h"
#include "korvagl/stream/tcp_stream.h"

namespace korva::detail {

namespace {

// 15 hex digits: far above any real chunk, far below int64 overflow.
constexpr int64_t kMaxChunkSize = (int64_t{1} << 60) - 1;

int HexValue(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

int32_t TChunkedBody::Read(Source& source, void* buf, int32_t count) {
    if (count <= 0) return 0;
    if (state_ != State::Data && !Frame(source, true)) return 0;
    if (state_ != State::Data) return 0;
    const auto want = static_cast<int32_t>(std::min<int64_t>(count, size_));
    int32_t n;
    if (begin_ < end_) {
        n = std::min(want, end_ - begin_);
        std::memcpy(buf, buffer_ + begin_, static_cast<size_t>(n));
        begin_ += n;
    } else {
        n = source.ReadFramed(buf, want);
        if (n <= 0) {
            Closed(source, n);
            return 0;
        }
    }
    if ((size_ -= n) == 0) {
        state_ = State::DataEnd;
        Frame(source, false);  // the next size, or the end, may be here already
    }
    return n;
}

// Takes framing bytes until data, the end or a failure; without `mayWait`
// only those already buffered. False after a failure.
bool TChunkedBody::Frame(Source& source, bool mayWait) {
    while (state_ != State::Data && state_ != State::Ended) {
        if (state_ == State::Failed) return false;
        if (begin_ == end_) {
            if (!mayWait) return true;
            const int32_t n = source.ReadFramed(buffer_, kBufferSize);
            if (n <= 0) return Closed(source, n);
            begin_ = 0;
            end_ = n;
        }
        if (!Step(source, buffer_[begin_++])) return false;
    }
    return true;
}

bool TChunkedBody::Step(Source& source, uint8_t byte) {
    const int64_t limit = NetworkLineLimit();
    const auto lineByte = [&] {
        if (++line_ <= limit || limit == 0) return true;
        return Fail(source, "a line longer than " + String(std::to_string(limit)) + " bytes");
    };
    const auto sizeLineEnd = [&] {
        line_ = 0;
        state_ = size_ == 0 ? State::Trailer : State::Data;
        return true;
    };
    switch (state_) {
    case State::Size:
        if (const int value = HexValue(byte); value >= 0) {
            if (size_ > kMaxChunkSize >> 4) return Fail(source, "bad chunk size");
            size_ = size_ * 16 + value;
            ++digits_;
            return lineByte();
        }
        if (digits_ == 0) return Fail(source, "bad chunk size");
        if (byte == '\n') return sizeLineEnd();
        if (byte != ';' && byte != ' ' && byte != '\t' && byte != '\r') return Fail(source, "bad chunk size");
        state_ = State::Extension;
        return lineByte();
    case State::Extension:
        return byte == '\n' ? sizeLineEnd() : lineByte();
    case State::DataEnd:
        if (byte == '\r') {
            state_ = State::DataLineFeed;
            return true;
        }
        [[fallthrough]];
    case State::DataLineFeed:
        if (byte != '\n') return Fail(source, "a chunk is longer than its size");
        state_ = State::Size;
        size_ = 0;
        digits_ = 0;
        return true;
    case State::Trailer:
        if (++trailer_ > kMaxHttpHeaderBytes) {
            return Fail(source, "the trailer is longer than " + String(std::to_string(kMaxHttpHeaderBytes)) + " bytes");
        }
        if (byte == '\n') {
            if (line_ == 0) state_ = State::Ended;
            line_ = 0;
            return true;
        }
        return byte == '\r' || lineByte();
    default:
        return true;
    }
}

bool TChunkedBody::Fail(Source& source, const String& cause) {
    state_ = State::Failed;
    source.Refuse(cause);
    return false;
}

// The source gave `result` (0 or less) instead of bytes.
bool TChunkedBody::Closed(Source& source, int32_t result) {
    if (result < 0) {
        state_ = State::Failed;
        return false;
    }
    if (state_ == State::Trailer) {
        state_ = State::Ended;
        return true;
    }
    return Fail(source, "the connection closed inside the chunked body");
}

}  // namespace korva::detail

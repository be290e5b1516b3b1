// The MP3 decoder: libmpg123 reads the stream itself through two callbacks.
// libmpg123 finds frames inside any junk, so the decoder first makes sure
// the data is MPEG audio: after an ID3v2 tag, two frame headers that agree,
// the second where the first frame ends.
#include "korvagl/audio/mp3_decoder.h"

#include <mpg123.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <limits>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "korvagl/app/last_error.h"
#include "korvagl/app/modules.h"
#include "korvagl/audio/pcm_reader.h"
#include "korvagl/stream/stream.h"

namespace korva {
namespace {

struct FrameHeader {
    int version = 0;  // the header's version bits: 0 MPEG 2.5, 2 MPEG 2, 3 MPEG 1
    int layer = 0;    // 1, 2 or 3
    int hertz = 0;
    int bytes = 0;    // of the whole frame
};

// The MPEG audio frame header at `p` (4 bytes). Free-format frames (no
// bitrate) are not taken: their length cannot be told from the header.
bool ParseFrameHeader(const uint8_t* p, FrameHeader& h) {
    static const int16_t kBitrates[2][3][15] = {
        {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
         {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
         {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
        {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
    static const int kRates[3] = {44100, 48000, 32000};
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
    const int version = (p[1] >> 3) & 3, layerBits = (p[1] >> 1) & 3;
    const int bitrateIndex = p[2] >> 4, rateIndex = (p[2] >> 2) & 3, padding = (p[2] >> 1) & 1;
    if (version == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) return false;
    const bool mpeg1 = version == 3;
    h.version = version;
    h.layer = 4 - layerBits;
    h.hertz = kRates[rateIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    const int bitrate = kBitrates[mpeg1 ? 0 : 1][h.layer - 1][bitrateIndex] * 1000;
    if (h.layer == 1) h.bytes = (12 * bitrate / h.hertz + padding) * 4;
    else h.bytes = (h.layer == 3 && !mpeg1 ? 72 : 144) * bitrate / h.hertz + padding;
    return true;
}

// The size of the ID3v2 tag that `head` (10 bytes) begins, or 0.
int64_t Id3v2Size(const uint8_t* head) {
    if (std::memcmp(head, "ID3", 3) != 0 || head[3] == 0xFF || head[4] == 0xFF) return 0;
    int64_t size = 0;
    for (int i = 6; i < 10; ++i) {
        if (head[i] & 0x80) return 0;
        size = size << 7 | head[i];
    }
    return 10 + size + ((head[5] & 0x10) ? 10 : 0);  // with the footer, when there is one
}

int32_t ReadUpTo(TByteStream& s, uint8_t* buf, int32_t count) {
    int32_t got = 0;
    while (got < count) {
        const int32_t n = detail::ReadSome(s, buf + got, count - got);
        if (n == 0) break;
        got += n;
    }
    return got;
}

std::once_flag g_mpg123Ready;

class TMP3Reader final : public TPcmReader {
public:
    TMP3Reader(const Ref<TByteStream>& stream, bool seeks) : stream_(stream) { seekable = seeks ? 1 : 0; }
    ~TMP3Reader() override {
        if (handle_) {
            mpg123_close(handle_);
            mpg123_delete(handle_);
        }
    }
    TMP3Reader(const TMP3Reader&) = delete;
    TMP3Reader& operator=(const TMP3Reader&) = delete;

    // False when the data is not MPEG audio, or (with the reason recorded)
    // when it cannot be played. `exact` asks for an exact length and exact
    // seeking, which may mean reading every frame header of the data once.
    bool Open(bool exact) {
        if (!FindFirstFrame()) return false;
        std::call_once(g_mpg123Ready, [] { mpg123_init(); });
        int error = MPG123_OK;
        handle_ = mpg123_new(nullptr, &error);
        if (!handle_) return Refuse(mpg123_plain_strerror(error));
        long flags = MPG123_QUIET | MPG123_GAPLESS;
        if (!seekable) flags |= MPG123_SEEKBUFFER;
        mpg123_param(handle_, MPG123_ADD_FLAGS, flags, 0.0);
        mpg123_format_none(handle_);
        const long* rates = nullptr;
        size_t count = 0;
        mpg123_rates(&rates, &count);
        for (size_t i = 0; i < count; ++i) mpg123_format(handle_, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
        mpg123_replace_reader_handle(handle_, &ReadCallback, &SeekCallback, nullptr);
        if (mpg123_open_handle(handle_, this) != MPG123_OK) return Refuse(mpg123_strerror(handle_));
        long rate = 0;
        int encoding = 0;
        const int opened = mpg123_getformat(handle_, &rate, &channels, &encoding);
        RaiseStreamError();
        if (opened != MPG123_OK) return Refuse(String("corrupt MP3 data: ") + mpg123_strerror(handle_));
        hertz = static_cast<int32_t>(rate);
        if (exact && seekable) {
            long accurate = 0;
            double unused = 0;
            if (mpg123_getstate(handle_, MPG123_ACCURATE, &accurate, &unused) != MPG123_OK || !accurate) {
                mpg123_scan(handle_);
                RaiseStreamError();
            }
        }
        const off_t total = mpg123_length(handle_);
        length = total >= 0 ? static_cast<int64_t>(total) : -1;
        return true;
    }

    int32_t Read(int16_t* frames, int32_t count) override {
        const size_t frameBytes = 2 * static_cast<size_t>(channels);
        for (;;) {
            size_t done = 0;
            const int result = mpg123_read(handle_, frames, static_cast<size_t>(count) * frameBytes, &done);
            RaiseStreamError();
            if (done > 0 || result == MPG123_OK) return static_cast<int32_t>(done / frameBytes);
            if (result == MPG123_DONE) return 0;
            if (result == MPG123_NEW_FORMAT) {
                long rate = 0;
                int now = 0, encoding = 0;
                mpg123_getformat(handle_, &rate, &now, &encoding);
                if (rate == hertz && now == channels) continue;
                Refuse("the MP3 stream changes its channels or rate");
                return -1;
            }
            Refuse(String("corrupt MP3 data: ") + mpg123_strerror(handle_));
            return -1;
        }
    }

    int32_t Seek(int64_t frame) override {
        if (!seekable || frame < 0) return Refuse("cannot seek in the MP3 data");
        const off_t at = mpg123_seek(handle_, static_cast<off_t>(frame), SEEK_SET);
        RaiseStreamError();
        if (at >= 0) return 1;
        return Refuse(String("cannot seek in the MP3 data: ") + mpg123_strerror(handle_));
    }

private:
    // Leaves the stream at the first frame (`base_`), past any ID3v2 tag,
    // once two frames there agree. On a stream that cannot go back, what was
    // read to check them waits in `pending_` for libmpg123.
    bool FindFirstFrame() {
        uint8_t head[10] = {};
        if (ReadUpTo(*stream_, head, 10) != 10) return false;
        const int32_t start = stream_->Pos();  // -1 on the view's stream past 2 GiB
        const int64_t tag = Id3v2Size(head);
        std::vector<uint8_t> window(4096);
        int32_t got = 0;
        if (tag > 0) {
            int64_t skip = tag - 10;
            while (skip > 0 && !stream_->Eof()) {
                const auto n = static_cast<int32_t>(std::min<int64_t>(skip, std::numeric_limits<int32_t>::max()));
                stream_->Skip(n);
                skip -= n;
            }
            got = ReadUpTo(*stream_, window.data(), static_cast<int32_t>(window.size()));
        } else {
            std::memcpy(window.data(), head, 10);
            got = 10 + ReadUpTo(*stream_, window.data() + 10, static_cast<int32_t>(window.size()) - 10);
        }
        window.resize(static_cast<size_t>(got));
        FrameHeader first, second;
        if (got < 4 || !ParseFrameHeader(window.data(), first)) {
            if (tag > 0) Refuse("no MPEG audio frame after the ID3v2 tag");
            return false;
        }
        if (first.bytes + 4 > got || !ParseFrameHeader(window.data() + first.bytes, second) ||
            second.version != first.version || second.layer != first.layer || second.hertz != first.hertz) {
            if (tag > 0) Refuse("corrupt MP3 data: the first frames do not follow each other");
            return false;
        }
        const int64_t base = (start >= 10 ? start - 10 : 0) + (tag > 0 ? tag : 0);
        if (seekable) {
            base_ = static_cast<int32_t>(base);
            return stream_->Seek(base_) == base_;
        }
        pending_ = std::move(window);
        return true;
    }

    bool Refuse(const String& reason) {
        detail::SetDecoderFailure(reason);
        return false;
    }
    void RaiseStreamError() {
        if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
    }

    static mpg123_ssize_t ReadCallback(void* data, void* buffer, size_t bytes) {
        auto& r = *static_cast<TMP3Reader*>(data);
        try {
            if (r.pendingRead_ < r.pending_.size()) {
                const size_t n = std::min(bytes, r.pending_.size() - r.pendingRead_);
                std::memcpy(buffer, r.pending_.data() + r.pendingRead_, n);
                r.pendingRead_ += n;
                if (r.pendingRead_ == r.pending_.size()) std::vector<uint8_t>().swap(r.pending_);
                return static_cast<mpg123_ssize_t>(n);
            }
            const auto want = static_cast<int32_t>(std::min<size_t>(bytes, 1 << 20));
            return detail::ReadSome(*r.stream_, buffer, want);
        } catch (...) {
            r.error_ = std::current_exception();
            return -1;
        }
    }
    // Offsets count from the first frame.
    static off_t SeekCallback(void* data, off_t offset, int whence) {
        auto& r = *static_cast<TMP3Reader*>(data);
        if (!r.seekable) return -1;
        try {
            TByteStream& s = *r.stream_;
            int64_t target = offset;
            if (whence == SEEK_CUR) target += s.Pos() - r.base_;
            else if (whence == SEEK_END) target += s.Size() - r.base_;
            else if (whence != SEEK_SET) return -1;
            target += r.base_;
            if (target < r.base_ || target > std::numeric_limits<int32_t>::max()) return -1;
            if (s.Seek(static_cast<int32_t>(target)) != target) return -1;
            return static_cast<off_t>(target - r.base_);
        } catch (...) {
            r.error_ = std::current_exception();
            return -1;
        }
    }

    Ref<TByteStream> stream_;
    mpg123_handle* handle_ = nullptr;
    std::exception_ptr error_;
    int32_t base_ = 0;              // the stream position of the first frame
    std::vector<uint8_t> pending_;  // bytes to give libmpg123 before the stream's
    size_t pendingRead_ = 0;
};

}  // namespace

Ref<TPcmReader> TMP3SampleDecoder::OpenReader(const Ref<TByteStream>& stream) {
    auto reader = New<TMP3Reader>(stream, detail::ReaderMaySeek(*stream));
    return reader->Open(true) ? reader : nullptr;
}

Ref<TPcmSample> TMP3SampleDecoder::Load(const Ref<TByteStream>& stream) {
    auto reader = New<TMP3Reader>(stream, detail::ReaderMaySeek(*stream));
    return reader->Open(false) ? detail::ReadWholeSample(*reader) : nullptr;
}

int InitMP3Loader() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitStreams();
    InitSamples();
    detail::NoteModuleStarted("MP3 loader");
    RegisterPcmSampleDecoder(New<TMP3SampleDecoder>());
    return 0;
}

}  // namespace korva

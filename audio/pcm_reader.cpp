// Readers: the registry walk that opens one, the view that lets decoders
// look at the start of a stream that cannot seek, and whole samples read
// through a reader.
#include "korvagl/audio/pcm_reader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "korvagl/app/last_error.h"
#include "korvagl/audio/sample_decoder.h"
#include "korvagl/stream/stream.h"

namespace korva {
namespace {

// Over a stream that cannot seek: keeps the bytes read from its start, so
// that each decoder in turn can go back to the start while the readers are
// being tried. Past 256 KiB it stops keeping, and going back fails from
// then on. Once a reader is chosen it stops keeping and lets the kept bytes
// go as they are read again.
class TReplayStream final : public TByteStream {
public:
    static constexpr size_t kKeepLimit = 256 * 1024;

    explicit TReplayStream(const Ref<TByteStream>& inner) : inner_(inner) {}

    int32_t Eof() override { return pos_ < kept_.size() ? 0 : inner_->Eof(); }
    int32_t Pos() override { return pos_ <= size_t{std::numeric_limits<int32_t>::max()} ? static_cast<int32_t>(pos_) : -1; }
    int32_t Size() override { return 0; }
    int32_t Seek(int32_t pos) override {
        if (pos < 0 || (static_cast<size_t>(pos) != pos_ && (lost_ || static_cast<size_t>(pos) > kept_.size()))) {
            return -1;
        }
        pos_ = static_cast<size_t>(pos);
        return pos;
    }
    int32_t Read(void* buf, int32_t count) override {
        if (count <= 0) return 0;
        if (pos_ < kept_.size()) {
            const size_t n = std::min(kept_.size() - pos_, static_cast<size_t>(count));
            std::memcpy(buf, kept_.data() + pos_, n);
            pos_ += n;
            if (!keeping_ && pos_ == kept_.size()) std::vector<uint8_t>().swap(kept_);  // read again for the last time
            return static_cast<int32_t>(n);
        }
        const int32_t n = inner_->Read(buf, count);
        if (n <= 0) return n;
        if (keeping_ && kept_.size() + static_cast<size_t>(n) <= kKeepLimit) {
            kept_.insert(kept_.end(), static_cast<uint8_t*>(buf), static_cast<uint8_t*>(buf) + n);
        } else {
            lost_ = true;  // what came before is gone
            keeping_ = false;
            std::vector<uint8_t>().swap(kept_);
        }
        pos_ += static_cast<size_t>(n);
        return n;
    }
    String NetworkName() override { return inner_->NetworkName(); }

    void StopKeeping() {
        keeping_ = false;
        if (pos_ >= kept_.size()) std::vector<uint8_t>().swap(kept_);
    }

private:
    Ref<TByteStream> inner_;
    std::vector<uint8_t> kept_;  // the stream's first bytes
    size_t pos_ = 0;
    bool keeping_ = true;
    bool lost_ = false;
};

}  // namespace

int32_t TPcmReader::Read(int16_t*, int32_t) { RaiseAbstractMethodFault(); }
int32_t TPcmReader::Seek(int64_t) { RaiseAbstractMethodFault(); }

bool detail::ReaderMaySeek(TByteStream& stream) {
    return stream.Pos() >= 0 && !dynamic_cast<TReplayStream*>(&stream);
}

int32_t detail::ReadSome(TByteStream& stream, void* buf, int32_t count) {
    if (count <= 0 || stream.Eof()) return 0;
    const int32_t n = stream.Read(buf, count);
    if (n <= 0 && !stream.Eof()) throw TStreamReadError();
    return std::max(n, 0);
}

Ref<TPcmReader> OpenPcmReader(const Ref<TByteStream>& stream, const String& name) {
    if (!stream) return nullptr;
    Ref<TByteStream> source = stream;
    Ref<TReplayStream> view;
    int32_t start = stream->Pos();
    if (start < 0) {
        view = New<TReplayStream>(stream);
        source = view;
        start = 0;
    }
    detail::TakeDecoderFailure();  // one left by a decoder called on its own
    Ref<TPcmReader> reader;
    String reason;  // the first a decoder gave
    for (Ref<TPcmSampleDecoder> decoder = PcmSampleDecoders(); decoder && !reader; decoder = decoder->next) {
        if (source->Seek(start) != start) break;  // the view kept too little to go back
        try {
            reader = decoder->OpenReader(source);
        } catch (const TStreamError&) {
            reader = nullptr;
        }
        const String failure = detail::TakeDecoderFailure();
        if (reason.IsEmpty()) reason = failure;
    }
    if (view) view->StopKeeping();
    if (reader) detail::ClearLastErrorText();
    else if (!reason.IsEmpty()) detail::SetLastErrorText(name + ": " + reason);
    else detail::SetLastErrorTextIfNone(name + ": no sound decoder accepts this data");
    return reader;
}

Ref<TPcmSample> detail::ReadWholeSample(TPcmReader& reader) {
    if ((reader.channels != 1 && reader.channels != 2) || reader.hertz <= 0) {
        detail::SetDecoderFailure("corrupt sound data: a reader without channels or rate");
        return nullptr;
    }
    const int32_t frameBytes = 2 * reader.channels;
    const int64_t maxFrames = std::numeric_limits<int32_t>::max() / frameBytes;
    // Memory follows the data that arrives: a stated length is only where
    // the first allocation stops (a few bytes may claim hours of sound).
    int64_t capacity = reader.length > 0 ? std::min<int64_t>(reader.length, int64_t{1} << 22) : int64_t{1} << 16;
    capacity = std::min(capacity, maxFrames);
    auto sample = New<TPcmSample>();
    sample->hertz = reader.hertz;
    sample->format = reader.channels == 1 ? SMP_MONO16LE : SMP_STEREO16LE;
    auto grow = [&](int64_t frames) {
        void* memory = std::realloc(sample->samples, static_cast<size_t>(std::max<int64_t>(frames, 1) * frameBytes));
        if (!memory) throw std::bad_alloc();
        sample->samples = static_cast<uint8_t*>(memory);
        sample->capacity = static_cast<int32_t>(frames * frameBytes);
    };
    grow(capacity);
    int64_t done = 0;
    for (;;) {
        if (done == capacity) {
            if (capacity == maxFrames) {
                int16_t more[2];
                const int32_t n = reader.Read(more, 1);
                if (n == 0) break;
                if (n > 0) detail::SetDecoderFailure("sound too long (more than 2 GiB of 16-bit samples)");
                return nullptr;
            }
            capacity = std::min(capacity * 2, maxFrames);
            grow(capacity);
        }
        const auto want = static_cast<int32_t>(std::min<int64_t>(capacity - done, 1 << 16));
        const int32_t n = reader.Read(reinterpret_cast<int16_t*>(sample->samples) + done * reader.channels, want);
        if (n < 0) return nullptr;
        if (n == 0) break;
        done += n;
    }
    grow(done);
    sample->length = static_cast<int32_t>(done);
    return sample;
}

}  // namespace korva

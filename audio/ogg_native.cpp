// Native glue: libvorbisfile.
#include "audio/ogg_native.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <climits>

namespace korva::ogg {

struct Decoder {
    OggVorbis_File file;
};

Decoder* OpenOgg(void* source, const Callbacks& callbacks, int64_t* frames, int32_t* channels, int32_t* rate,
                 int* error) {
    auto* decoder = new Decoder;
    const ov_callbacks io{callbacks.read, callbacks.seek, callbacks.close, callbacks.tell};
    *error = ov_open_callbacks(source, &decoder->file, nullptr, 0, io);
    if (*error != 0) {
        delete decoder;
        return nullptr;
    }
    // In a chained file the decoder may start in a later link: go back to
    // the first one, which is all a sample holds.
    if (ov_seekable(&decoder->file) && ov_streams(&decoder->file) > 1 &&
        (*error = ov_pcm_seek(&decoder->file, 0)) != 0) {
        ov_clear(&decoder->file);
        delete decoder;
        return nullptr;
    }
    const vorbis_info* info = ov_info(&decoder->file, 0);
    *frames = ov_pcm_total(&decoder->file, 0);
    *channels = info ? info->channels : 0;
    *rate = info ? static_cast<int32_t>(std::min<long>(info->rate, INT32_MAX)) : 0;
    return decoder;
}

int ReadOgg(Decoder* decoder, void* buffer, int64_t bytes) {
    if (!buffer && bytes == 0) {
        CloseOgg(decoder);
        return 0;
    }
    auto* out = static_cast<char*>(buffer);
    int first = -1;
    while (bytes > 0) {
        int section = 0;
        const long n = ov_read(&decoder->file, out, static_cast<int>(std::min<int64_t>(bytes, INT_MAX)), 0, 2, 1,
                               &section);
        if (n < 0) return static_cast<int>(n);
        if (n == 0) break;  // the data ended early
        if (first < 0) first = section;
        if (section != first) {
            // The next logical bitstream: not part of this sample.
            std::fill(out, out + n, 0);
            break;
        }
        out += n;
        bytes -= n;
    }
    return 0;
}

int64_t ReadOggFrames(Decoder* decoder, int16_t* out, int32_t frames, int32_t channels) {
    const vorbis_info* first = ov_info(&decoder->file, 0);
    const long rate = first ? first->rate : 0;
    for (int holes = 0;;) {
        int section = 0;
        const long n = ov_read(&decoder->file, reinterpret_cast<char*>(out), frames * channels * 2, 0, 2, 1, &section);
        if (n == OV_HOLE && ++holes < 64) continue;
        if (n <= 0) return n;
        const vorbis_info* info = ov_info(&decoder->file, -1);
        if (!info || info->channels != channels || info->rate != rate) return kChangedFormat;
        return n / (2 * channels);
    }
}

int SeekOgg(Decoder* decoder, int64_t frame) { return ov_pcm_seek(&decoder->file, frame); }

void CloseOgg(Decoder* decoder) {
    ov_clear(&decoder->file);
    delete decoder;
}

const char* FailureText(int error) {
    switch (error) {
    case OV_ENOTVORBIS: return "no Vorbis stream in the Ogg data";
    case OV_EVERSION: return "unsupported Vorbis version";
    case OV_EBADHEADER: return "corrupt Ogg Vorbis data: a bad Vorbis header";
    case OV_HOLE: return "corrupt Ogg Vorbis data: a gap in the data";
    case OV_EBADLINK: return "corrupt Ogg Vorbis data: a bad link between streams";
    case OV_EREAD: return "corrupt Ogg Vorbis data: a read failed";
    case kChangedFormat: return "the Ogg stream changes its channels or rate";
    default: return "corrupt Ogg Vorbis data";
    }
}

}  // namespace korva::ogg

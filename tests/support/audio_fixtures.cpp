// Test support: WAV, Ogg Vorbis, FLAC and MP3 files written by test code.
#include "support/audio_fixtures.h"

#include <FLAC/stream_encoder.h>
#include <lame/lame.h>
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace korva::test {

std::string U16(uint32_t v) { return {static_cast<char>(v), static_cast<char>(v >> 8)}; }
std::string U32(uint32_t v) { return U16(v & 0xFFFF) + U16(v >> 16); }

std::string Chunk(const std::string& tag, const std::string& data) {
    std::string chunk = tag + U32(static_cast<uint32_t>(data.size())) + data;
    if (data.size() % 2) chunk += '\0';
    return chunk;
}

std::string FmtBody(int formatTag, int channels, int rate, int bits, const std::string& extra) {
    const int align = channels * bits / 8;
    return U16(formatTag) + U16(channels) + U32(rate) + U32(rate * align) + U16(align) + U16(bits) + extra;
}

std::string Riff(const std::string& chunks) { return "RIFF" + U32(static_cast<uint32_t>(4 + chunks.size())) + "WAVE" + chunks; }

std::string WavFile(int channels, int rate, int bits, const std::string& data) {
    return Riff(Chunk("fmt ", FmtBody(1, channels, rate, bits)) + Chunk("data", data));
}

std::string ExtensibleFmtBody(int subFormat, int channels, int rate, int bits) {
    static const char kTail[] = "\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71";
    const std::string extension = U16(22) + U16(bits) + U32(channels == 1 ? 0x4 : 0x3) + U16(subFormat) +
                                  std::string(kTail, 14);
    return FmtBody(0xFFFE, channels, rate, bits, extension);
}

std::string PcmBytes(int bits, const std::vector<int64_t>& values) {
    std::string out;
    for (int64_t v : values) {
        for (int b = 0; b < bits; b += 8) out += static_cast<char>(static_cast<uint64_t>(v) >> b);
    }
    return out;
}

std::string FloatBytes(const std::vector<float>& values) {
    std::string out;
    for (float v : values) {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        out += U32(bits);
    }
    return out;
}

std::vector<int16_t> ToneFrames(int channels, int rate, int frames) {
    std::vector<int16_t> out(static_cast<size_t>(frames) * channels);
    for (int i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            const double hz = 330.0 * (c + 1);
            out[static_cast<size_t>(i) * channels + c] =
                static_cast<int16_t>(12000 * std::sin(2 * M_PI * hz * i / rate) + 3000 * std::sin(0.37 * i));
        }
    }
    return out;
}

std::string OggFile(int channels, int rate, int frames, float quality, int serial) {
    return OggFileOf(channels, rate, ToneFrames(channels, rate, frames), quality, serial);
}

std::string OggFileOf(int channels, int rate, const std::vector<int16_t>& pcm, float quality, int serial) {
    const int frames = static_cast<int>(pcm.size() / static_cast<size_t>(channels));
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, channels, rate, quality) != 0) {
        vorbis_info_clear(&info);
        throw std::runtime_error("vorbis_encode_init_vbr failed");
    }
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_comment_add_tag(&comment, "ENCODER", "korvagl tests");
    vorbis_dsp_state dsp;
    vorbis_block block;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, serial);

    std::string file;
    ogg_page page;
    ogg_packet header, commentHeader, codeHeader;
    vorbis_analysis_headerout(&dsp, &comment, &header, &commentHeader, &codeHeader);
    ogg_stream_packetin(&stream, &header);
    ogg_stream_packetin(&stream, &commentHeader);
    ogg_stream_packetin(&stream, &codeHeader);
    while (ogg_stream_flush(&stream, &page)) {
        file.append(reinterpret_cast<char*>(page.header), page.header_len);
        file.append(reinterpret_cast<char*>(page.body), page.body_len);
    }

    constexpr int kChunk = 4096;
    bool ended = false;
    for (int done = 0; !ended;) {
        const int n = std::min(kChunk, frames - done);
        if (n > 0) {
            float** buffer = vorbis_analysis_buffer(&dsp, n);
            for (int i = 0; i < n; ++i) {
                for (int c = 0; c < channels; ++c) {
                    buffer[c][i] = pcm[static_cast<size_t>(done + i) * channels + c] / 32768.0f;
                }
            }
            vorbis_analysis_wrote(&dsp, n);
            done += n;
        } else {
            vorbis_analysis_wrote(&dsp, 0);  // end of stream
        }
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&dsp, &packet)) {
                ogg_stream_packetin(&stream, &packet);
                while (ogg_stream_pageout(&stream, &page)) {
                    file.append(reinterpret_cast<char*>(page.header), page.header_len);
                    file.append(reinterpret_cast<char*>(page.body), page.body_len);
                    if (ogg_page_eos(&page)) ended = true;
                }
            }
        }
    }
    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return file;
}

void SetLastGranule(std::string& ogg, int64_t granule) {
    const size_t at = ogg.rfind("OggS");
    if (at == std::string::npos || at + 27 > ogg.size()) throw std::runtime_error("no Ogg page");
    auto* bytes = reinterpret_cast<unsigned char*>(&ogg[at]);
    for (int i = 0; i < 8; ++i) bytes[6 + i] = static_cast<unsigned char>(static_cast<uint64_t>(granule) >> (8 * i));
    const int segments = bytes[26];
    long bodyLength = 0;
    for (int i = 0; i < segments; ++i) bodyLength += bytes[27 + i];
    ogg_page page;
    page.header = bytes;
    page.header_len = 27 + segments;
    page.body = bytes + page.header_len;
    page.body_len = bodyLength;
    ogg_page_checksum_set(&page);
}

std::vector<int16_t> RampFrames(int channels, int frames) {
    std::vector<int16_t> out(static_cast<size_t>(frames) * channels);
    for (int i = 0; i < frames; ++i) {
        out[static_cast<size_t>(i) * channels] = static_cast<int16_t>(i % 32000 + 1);
        if (channels == 2) out[static_cast<size_t>(i) * 2 + 1] = static_cast<int16_t>(7 * i % 20000 - 10000);
    }
    return out;
}

namespace {

// The encoder writes into a string and goes back to fill in the stream
// information (lengths, block sizes) at the end.
struct FlacSink {
    std::string bytes;
    size_t at = 0;
};

FLAC__StreamEncoderWriteStatus WriteFlac(const FLAC__StreamEncoder*, const FLAC__byte buffer[], size_t bytes, uint32_t,
                                         uint32_t, void* data) {
    auto& sink = *static_cast<FlacSink*>(data);
    if (sink.at + bytes > sink.bytes.size()) sink.bytes.resize(sink.at + bytes);
    std::memcpy(&sink.bytes[sink.at], buffer, bytes);
    sink.at += bytes;
    return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
}

FLAC__StreamEncoderSeekStatus SeekFlac(const FLAC__StreamEncoder*, FLAC__uint64 offset, void* data) {
    static_cast<FlacSink*>(data)->at = static_cast<size_t>(offset);
    return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
}

FLAC__StreamEncoderTellStatus TellFlac(const FLAC__StreamEncoder*, FLAC__uint64* offset, void* data) {
    *offset = static_cast<const FlacSink*>(data)->at;
    return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
}

FLAC__StreamEncoderReadStatus ReadFlac(const FLAC__StreamEncoder*, FLAC__byte buffer[], size_t* bytes, void* data) {
    auto& sink = *static_cast<FlacSink*>(data);
    *bytes = std::min(*bytes, sink.bytes.size() - sink.at);
    std::memcpy(buffer, sink.bytes.data() + sink.at, *bytes);
    sink.at += *bytes;
    return *bytes ? FLAC__STREAM_ENCODER_READ_STATUS_CONTINUE : FLAC__STREAM_ENCODER_READ_STATUS_END_OF_STREAM;
}

}  // namespace

std::string FlacFile(int channels, int rate, const std::vector<int32_t>& samples, const FlacOptions& options) {
    FLAC__StreamEncoder* encoder = FLAC__stream_encoder_new();
    FLAC__stream_encoder_set_channels(encoder, static_cast<uint32_t>(channels));
    FLAC__stream_encoder_set_bits_per_sample(encoder, static_cast<uint32_t>(options.bits));
    FLAC__stream_encoder_set_sample_rate(encoder, static_cast<uint32_t>(rate));
    FLAC__stream_encoder_set_blocksize(encoder, static_cast<uint32_t>(options.blockFrames));
    FLAC__stream_encoder_set_streamable_subset(encoder, options.blockFrames <= 16384 && rate <= 655350);
    FLAC__stream_encoder_set_compression_level(encoder, 5);
    FlacSink sink;
    const FLAC__StreamEncoderInitStatus status =
        options.ogg ? FLAC__stream_encoder_init_ogg_stream(encoder, &ReadFlac, &WriteFlac, &SeekFlac, &TellFlac, nullptr,
                                                           &sink)
                    : FLAC__stream_encoder_init_stream(encoder, &WriteFlac, &SeekFlac, &TellFlac, nullptr, &sink);
    if (status != FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
        FLAC__stream_encoder_delete(encoder);
        throw std::runtime_error("FLAC encoder would not start");
    }
    const auto frames = static_cast<uint32_t>(samples.size() / static_cast<size_t>(channels));
    const bool ok = FLAC__stream_encoder_process_interleaved(encoder, samples.data(), frames) &&
                    FLAC__stream_encoder_finish(encoder);
    FLAC__stream_encoder_delete(encoder);
    if (!ok) throw std::runtime_error("FLAC encoding failed");
    return sink.bytes;
}

std::string FlacFile(int channels, int rate, const std::vector<int16_t>& frames) {
    return FlacFile(channels, rate, std::vector<int32_t>(frames.begin(), frames.end()));
}

std::string Mp3File(int channels, int rate, const std::vector<int16_t>& frames, int kbps) {
    lame_global_flags* lame = lame_init();
    lame_set_num_channels(lame, channels);
    lame_set_in_samplerate(lame, rate);
    lame_set_out_samplerate(lame, rate);
    lame_set_mode(lame, channels == 1 ? MONO : JOINT_STEREO);
    lame_set_brate(lame, kbps);
    lame_set_quality(lame, 5);
    lame_set_bWriteVbrTag(lame, 1);  // the LAME header: delay and padding, for gapless playing
    if (lame_init_params(lame) < 0) {
        lame_close(lame);
        throw std::runtime_error("LAME would not start");
    }
    const int count = static_cast<int>(frames.size()) / channels;
    std::vector<unsigned char> out(static_cast<size_t>(1.25 * count + 7200) + 16384);
    std::vector<int16_t> mono(frames);  // lame_encode_buffer wants the left and right arrays apart
    int n = channels == 2 ? lame_encode_buffer_interleaved(lame, const_cast<short*>(frames.data()), count, out.data(),
                                                           static_cast<int>(out.size()))
                          : lame_encode_buffer(lame, mono.data(), mono.data(), count, out.data(),
                                               static_cast<int>(out.size()));
    if (n < 0) throw std::runtime_error("LAME encoding failed");
    const int flushed = lame_encode_flush(lame, out.data() + n, static_cast<int>(out.size()) - n);
    if (flushed < 0) throw std::runtime_error("LAME encoding failed");
    std::string file(reinterpret_cast<char*>(out.data()), static_cast<size_t>(n + flushed));
    // The first frame was kept free for the header, which is known only now.
    unsigned char tag[2880];
    const size_t tagBytes = lame_get_lametag_frame(lame, tag, sizeof tag);
    if (tagBytes > 0 && tagBytes <= file.size()) std::memcpy(&file[0], tag, tagBytes);
    lame_close(lame);
    return file;
}

}  // namespace korva::test

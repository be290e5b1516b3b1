// Test support: WAV and Ogg Vorbis files written by test code.
#include "support/audio_fixtures.h"

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

    const std::vector<int16_t> pcm = ToneFrames(channels, rate, frames);
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

}  // namespace korva::test

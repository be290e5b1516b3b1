// Test support: sound files written by test code. WAV files are put
// together byte by byte; Ogg Vorbis files are encoded with libvorbisenc.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korva::test {

// Little-endian building blocks.
std::string U16(uint32_t v);
std::string U32(uint32_t v);
// A RIFF chunk: tag, size, data, and the pad byte when the size is odd.
std::string Chunk(const std::string& tag, const std::string& data);
// A "fmt " chunk body of 16 bytes (plus `extra` bytes).
std::string FmtBody(int formatTag, int channels, int rate, int bits, const std::string& extra = "");
// "RIFF" size "WAVE" followed by the chunks.
std::string Riff(const std::string& chunks);
// A plain PCM WAV file.
std::string WavFile(int channels, int rate, int bits, const std::string& data);
// The body of a WAVE_FORMAT_EXTENSIBLE "fmt " chunk (40 bytes) whose
// sub-format GUID holds `subFormat` (1 PCM, 3 float).
std::string ExtensibleFmtBody(int subFormat, int channels, int rate, int bits);
// Integer samples of `bits` bits (8 to 32) as a WAV file stores them.
std::string PcmBytes(int bits, const std::vector<int64_t>& values);
// 32-bit IEEE float samples as a WAV file stores them.
std::string FloatBytes(const std::vector<float>& values);

// Interleaved 16-bit frames of a few sine tones (a different one per channel).
std::vector<int16_t> ToneFrames(int channels, int rate, int frames);
// An Ogg Vorbis file of `frames` frames of ToneFrames, encoded at VBR quality
// `quality` (-0.1 .. 1.0), as one logical bitstream with serial number `serial`.
std::string OggFile(int channels, int rate, int frames, float quality = 0.3f, int serial = 12345);
// The same of interleaved 16-bit frames of one's own.
std::string OggFileOf(int channels, int rate, const std::vector<int16_t>& pcm, float quality = 0.3f, int serial = 12345);
// Sets the granule position of the file's last page (and its checksum).
void SetLastGranule(std::string& ogg, int64_t granule);

// Interleaved 16-bit frames in which every frame can be told apart: the left
// value of frame i is i % 32000 + 1 (never 0), the right one 7 * i % 20000 -
// 10000 (mono: the left one only).
std::vector<int16_t> RampFrames(int channels, int frames);

// A FLAC file (libFLAC's encoder) of interleaved samples of `bits` bits
// (`samples.size()` / `channels` frames), in blocks of `blockFrames` (a
// non-subset stream above 16384), native or in Ogg.
struct FlacOptions {
    int bits = 16;
    int blockFrames = 4096;
    bool ogg = false;
};
std::string FlacFile(int channels, int rate, const std::vector<int32_t>& samples, const FlacOptions& options = {});
// The same from 16-bit frames.
std::string FlacFile(int channels, int rate, const std::vector<int16_t>& frames);
// An MP3 file (libmp3lame, constant `kbps`, with its LAME header for
// gapless playing) of interleaved 16-bit frames.
std::string Mp3File(int channels, int rate, const std::vector<int16_t>& frames, int kbps = 128);

}  // namespace korva::test

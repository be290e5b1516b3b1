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
// Sets the granule position of the file's last page (and its checksum).
void SetLastGranule(std::string& ogg, int64_t granule);

}  // namespace korva::test

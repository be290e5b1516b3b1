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

// Interleaved 16-bit frames of a few sine tones (a different one per channel).
std::vector<int16_t> ToneFrames(int channels, int rate, int frames);
// An Ogg Vorbis file of `frames` frames of ToneFrames, encoded at VBR quality
// `quality` (-0.1 .. 1.0), as one logical bitstream with serial number `serial`.
std::string OggFile(int channels, int rate, int frames, float quality = 0.3f, int serial = 12345);
// Sets the granule position of the file's last page (and its checksum).
void SetLastGranule(std::string& ogg, int64_t granule);

}  // namespace korva::test

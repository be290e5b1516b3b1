// Test support: the sound decoders started in their documented order, and a
// sample loaded from bytes in memory.
#pragma once

#include <string>

#include "korvagl/korvagl.h"

namespace korva::test {

// Tried WAV, Ogg Vorbis, FLAC, MP3, as start-up registers them.
inline void InitSoundDecoders() {
    InitMemoryStreams();
    InitMP3Loader();
    InitFLACLoader();
    InitOggLoader();
    InitWAVLoader();
}

// ReadPcmSample of `bytes` through a memory stream (named "stream" in
// reasons); the null object when no decoder takes them.
inline Ref<TPcmSample> LoadSample(std::string bytes) {
    return ReadPcmSample(Ref<Object>(NewMemoryStream(bytes.data(), static_cast<int32_t>(bytes.size()), 1, 0)));
}

}  // namespace korva::test

// Private entry points of the mixing library, for the driver module, tests
// and benchmarks.
#pragma once

#include <cstdint>
#include <memory>

#include "audio/device/audio_device.h"

namespace korva {

struct sounddata;
struct streamdata;

namespace detail {

// Opens the library on any output device (OpenAudio uses the SDL device):
// makes the mixer and channel table and installs TSDLAudioBackend. 0, or -1
// when the device does not open (the library then stays closed).
int32_t OpenAudioDevice(std::unique_ptr<audiodevice> device);

// A consistent picture of the library (taken with the mixer thread held off).
struct AudioCensus {
    int32_t voicesMade = 0;    // voice objects in existence
    int32_t activeVoices = 0;  // in the mixer's active list
    int32_t spareVoices = 0;   // ready on the program side
    int32_t startingVoices = 0;  // in the start ring
    int32_t finishedVoices = 0;  // in the free ring
    int32_t slotsInUse = 0;    // allocated channel handles
};
AudioCensus TakeAudioCensus();
// The count of references of a sound data record.
int32_t SoundDataRefs(const sounddata* data);

// Starts stream data on a channel handle of its own (the voice holds one
// reference to it) with the given volume, pan (4.12) and rate (16.16) from
// its first frame: the handle, or 0 when no device is open, no handle is
// free or the start ring is full. The voice plays whatever the stream's
// producer writes until the handle is stopped.
int32_t PlayStreamData(streamdata* stream, int32_t paused, int16_t volume, int16_t pan, int32_t rate);
// A number that changes each time a device opens; 0 while none is open.
// Handles from an earlier device must not be used with a later one.
int32_t AudioOpenCount();

// The fixed clock's device calls it before each block it mixes: every open
// music's decoder does all it can (decodes ahead, places its markers) and
// then waits, so the block does not depend on how the threads ran.
void SettleMusic();

}  // namespace detail
}  // namespace korva

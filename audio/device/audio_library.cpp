// The mixing library's flat interface: the device, the mixer and the channel
// table. Everything here runs on the program thread; the mixer thread only
// sees voices through the mixer's rings and the voices' atomic fields.
#include "audio/device/audio_library_internal.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "audio/device/clock_device.h"
#include "audio/device/mixer.h"
#include "audio/device/sdl_device.h"
#include "audio/device/sound.h"
#include "audio/device/stream_data.h"
#include "korvagl/audio/audio_library.h"
#include "korvagl/audio/sdl_audio_driver.h"
#include "korvagl/system/replay.h"

namespace korva {
namespace {

constexpr int32_t kSlots = 4096;
constexpr int32_t kSlotMask = kSlots - 1;

// Program-thread settings that outlive an open device.
int32_t g_blockFrames = kDefaultAudioBlockFrames;
TMixerCallback g_callback;
int32_t g_opened = 0;  // devices opened so far

struct library {
    std::unique_ptr<audiodevice> device;
    std::unique_ptr<mixer> mix;
    // The channel table. Slot 0 heads the free list and is never used.
    std::array<sound*, kSlots> voice{};
    std::array<int32_t, kSlots> link{};
    std::array<uint32_t, kSlots> generation{};
    std::array<bool, kSlots> inUse{};
    // Voices the mixer does not hold: never handed over, or taken back.
    std::vector<sound*> spare;
    int32_t slotsInUse = 0;

    library() {
        for (int32_t slot = 0; slot < kSlots; ++slot) {
            link[slot] = (slot + 1) % kSlots;
            generation[slot] = kSlots;
        }
    }

    // The slot of a live handle, or 0 when it is stale or was never given out.
    int32_t SlotOf(int32_t handle) const {
        const int32_t slot = handle & kSlotMask;
        if (slot == 0 || !inUse[slot]) return 0;
        return generation[slot] == (static_cast<uint32_t>(handle) & ~static_cast<uint32_t>(kSlotMask)) ? slot : 0;
    }

    int32_t Alloc() {
        const int32_t slot = link[0];
        if (slot == 0) return 0;
        link[0] = link[slot];
        generation[slot] += kSlots;
        inUse[slot] = true;
        voice[slot] = nullptr;
        ++slotsInUse;
        return static_cast<int32_t>(generation[slot] | static_cast<uint32_t>(slot));
    }

    void FreeSlot(int32_t slot) {
        inUse[slot] = false;
        voice[slot] = nullptr;
        link[slot] = link[0];
        link[0] = slot;
        --slotsInUse;
    }

    // A voice object to start: a spare one, a finished one back from the
    // mixer (whose own handle is released now), or a new one. A finished
    // voice that owns `keep`, the slot it is about to play on again, keeps
    // that slot: the new sound takes the handle over.
    sound* TakeVoice(int32_t keep = 0) {
        if (!spare.empty()) {
            sound* v = spare.back();
            spare.pop_back();
            return v;
        }
        if (sound* v = mix->TakeFinished()) {
            v->inMixer = false;
            const int32_t slot = v->handle ? SlotOf(v->handle) : 0;
            // Only when the slot still refers to it: a later sound on the same
            // channel took the handle over.
            if (slot != 0 && slot != keep && voice[slot] == v) FreeSlot(slot);
            v->handle = 0;
            v->attached.store(false, std::memory_order_relaxed);
            return v;
        }
        return mix->MakeVoice();
    }

    // Takes a voice out of its slot; the mixer recycles it once stopped.
    void Detach(sound* v) {
        v->MarkStopped();
        v->attached.store(false, std::memory_order_release);
        if (!v->inMixer) spare.push_back(v);
    }

    // The voice of a live handle. A live slot without one gets an idle voice
    // with default parameters, so settings made before anything plays stay.
    sound* VoiceOf(int32_t handle) {
        const int32_t slot = SlotOf(handle);
        if (slot == 0) return nullptr;
        if (!voice[slot]) {
            sound* v = TakeVoice();
            v->state.store(VOICE_STOPPED, std::memory_order_relaxed);
            v->ResetParameters(kDefaultRate, kDefaultVolume, 0, 0);
            v->attached.store(true, std::memory_order_relaxed);
            voice[slot] = v;
        }
        return voice[slot];
    }

    struct Parameters {
        int32_t rate;
        int16_t volume, pan, depth;
    };

    // Starts sound data, or with `stream` set stream data (which never ends
    // by itself and is started on a handle of its own), with the parameters
    // of the channel's voice, or the given ones, or the defaults.
    int32_t Play(int32_t handle, sounddata* data, int32_t paused, streamdata* stream = nullptr,
                 const Parameters* given = nullptr) {
        const bool loops = stream || data->loop;
        // A full start ring refuses the request rather than lose a voice.
        if (!mix->CanStart()) return 0;
        int32_t slot = 0;
        if (handle != 0 && (slot = SlotOf(handle)) == 0) return 0;
        // The voice now on the channel passes its targets on, and the handle
        // too when it was its own. Taken before the new voice, which may be
        // this very voice back from the mixer.
        sound* parent = slot ? voice[slot] : nullptr;
        bool owned = parent && parent->handle == handle;
        sound* v = TakeVoice(slot);
        if (handle == 0) {
            handle = Alloc();
            slot = handle & kSlotMask;
            owned = handle != 0;
            // Without a handle nobody could ever stop a loop or resume a
            // paused sound: only a one-shot may play unattended.
            if (!owned && (loops || paused)) {
                spare.push_back(v);
                return 0;
            }
        }

        if (given) {
            v->ResetParameters(given->rate, given->volume, given->pan, given->depth);
        } else if (parent) {
            v->ResetParameters(parent->GetRate(1), parent->GetVolume(1), parent->GetPan(1), parent->GetDepth(1));
        } else {
            v->ResetParameters(kDefaultRate, kDefaultVolume, 0, 0);
        }
        int32_t state = VOICE_STREAM;
        if (stream) {
            stream->Retain();
            v->stream = stream;
        } else {
            data->Retain();
            v->data = data;
            state = data->loop ? VOICE_LOOP : VOICE_ONCE;
        }
        v->position = 0;
        v->next = nullptr;
        v->state.store(state | (paused ? VOICE_PAUSED : 0), std::memory_order_relaxed);
        v->handle = owned ? handle : 0;
        v->attached.store(slot != 0, std::memory_order_relaxed);
        v->inMixer = true;
        if (slot != 0) {
            if (parent && parent != v) Detach(parent);
            voice[slot] = v;
        }
        mix->Start(v);  // cannot fail: room was checked and only this thread pushes
        return handle;
    }
};

library* g_library = nullptr;

sound* VoiceOf(int32_t handle) { return g_library ? g_library->VoiceOf(handle) : nullptr; }

}  // namespace

int32_t detail::OpenAudioDevice(std::unique_ptr<audiodevice> device) {
    CloseAudio();
    auto lib = std::make_unique<library>();
    lib->mix = std::make_unique<mixer>(2 * g_blockFrames);
    lib->mix->SetBlockCallback(g_callback);
    if (device->Open(lib->mix.get()) != 0) return -1;
    lib->device = std::move(device);
    g_library = lib.release();
    ++g_opened;
    detail::InstallAudioBackend(New<TSDLAudioBackend>());
    return 0;
}

detail::AudioCensus detail::TakeAudioCensus() {
    AudioCensus census;
    if (!g_library) return census;
    g_library->device->Lock();
    census.voicesMade = g_library->mix->VoicesMade();
    census.activeVoices = g_library->mix->ActiveVoices();
    census.spareVoices = static_cast<int32_t>(g_library->spare.size());
    census.startingVoices = g_library->mix->StartingVoices();
    census.finishedVoices = g_library->mix->FinishedVoices();
    census.slotsInUse = g_library->slotsInUse;
    g_library->device->Unlock();
    return census;
}

int32_t detail::SoundDataRefs(const sounddata* data) { return data ? data->refs.load() : 0; }

int32_t detail::PlayStreamData(streamdata* stream, int32_t paused, int16_t volume, int16_t pan, int32_t rate) {
    if (!g_library || !stream) return 0;
    const library::Parameters given{rate, volume, pan, 0};
    return g_library->Play(0, nullptr, paused, stream, &given);
}

int32_t detail::AudioOpenCount() { return g_library ? g_opened : 0; }

int32_t SetAudioBlockFrames(int32_t frames) {
    if (frames < kMinAudioBlockFrames || frames > kMaxAudioBlockFrames) return -1;
    g_blockFrames = frames;
    return 0;
}

int32_t AudioBlockFrames() { return g_library ? g_library->mix->Frames() : g_blockFrames; }

void SetMixerCallback(TMixerCallback callback) {
    TMixerCallback old = std::move(g_callback);
    g_callback = std::move(callback);
    if (!g_library) return;
    // The mixer thread is held off while the function changes, so the old
    // one has returned for good when this does (and is destroyed here).
    g_library->device->Lock();
    g_library->mix->SetBlockCallback(g_callback);
    g_library->device->Unlock();
}

namespace {

// Start-up opens the device before the system reads its switches: when it
// then puts the fixed clock in place, the library opens again on it (and
// opens whether or not the machine has an audio device).
void MoveAudioToFixedClock() {
    if (!g_library || !dynamic_cast<clockdevice*>(g_library->device.get())) OpenAudio();
}

}  // namespace

int32_t OpenAudio() {
    static bool registered = false;
    static const bool hooked = (detail::SetFixedClockHook(&MoveAudioToFixedClock), true);
    (void)hooked;
    // On the fixed clock the mixer follows the frames shown, device or not.
    std::unique_ptr<audiodevice> device;
    if (FixedFrameMs() > 0) {
        device = std::make_unique<clockdevice>(FixedFrameMs());
    } else {
        device = std::make_unique<sdldevice>();
    }
    if (detail::OpenAudioDevice(std::move(device)) != 0) return -1;
    if (!registered) {
        registered = true;
        std::atexit(&CloseAudio);
    }
    return 0;
}

void CloseAudio() {
    if (!g_library) return;
    library* lib = g_library;
    g_library = nullptr;
    lib->device->Close();
    delete lib;  // the mixer deletes every voice, releasing their data
    detail::InstallAudioBackend(New<TAudioBackend>());
}

sounddata* CreateSoundData(int32_t length, int32_t bits, int32_t channels, int32_t hertz, const void* data,
                           int32_t loop) {
    if (length < 0 || (bits != 8 && bits != 16) || (channels != 1 && channels != 2) || hertz <= 0) return nullptr;
    if (length > 0 && !data) return nullptr;
    auto* record = new sounddata;
    record->hertz = hertz;
    record->channels = channels;
    record->bits = bits;
    record->length = length;
    record->bytesPerFrame = channels * bits / 8;
    record->loop = loop ? -1 : 0;
    const size_t bytes = static_cast<size_t>(length) * static_cast<size_t>(record->bytesPerFrame);
    if (bytes > 0) {
        record->buffer = static_cast<uint8_t*>(std::malloc(bytes));
        if (!record->buffer) {
            delete record;
            return nullptr;
        }
        std::memcpy(record->buffer, data, bytes);
    }
    return record;
}

void FreeSoundData(sounddata* data) {
    if (data) data->Release();
}

int32_t AllocChannelHandle() { return g_library ? g_library->Alloc() : 0; }

int32_t PlaySoundData(int32_t handle, sounddata* data, int32_t paused) {
    if (!g_library || !data) return 0;
    return g_library->Play(handle, data, paused);
}

void StopHandle(int32_t handle) {
    if (sound* v = VoiceOf(handle)) v->MarkStopped();
}

void PauseHandle(int32_t handle, int32_t paused) {
    if (sound* v = VoiceOf(handle)) v->MarkPaused(paused != 0);
}

void SetHandleVolume(int32_t handle, int16_t volume) {
    if (sound* v = VoiceOf(handle)) v->SetVolume(volume);
}

void SetHandlePan(int32_t handle, int16_t pan) {
    if (sound* v = VoiceOf(handle)) v->SetPan(pan);
}

void SetHandleDepth(int32_t handle, int16_t depth) {
    if (sound* v = VoiceOf(handle)) v->SetDepth(depth);
}

void SetHandleRate(int32_t handle, int32_t rate) {
    if (sound* v = VoiceOf(handle)) v->SetRate(rate);
}

int32_t HandleState(int32_t handle) {
    const sound* v = VoiceOf(handle);
    return v ? v->state.load(std::memory_order_acquire) : 0;
}

}  // namespace korva

// Native layer: the SDL audio device. The only file of the audio subsystem
// that includes SDL.
#include "audio/device/sdl_device.h"

#include <SDL.h>
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "audio/device/mixer.h"
#include "sdl/sdl_init.h"

namespace korva {
namespace {

bool PathExists(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// An ALSA playback device node, or an ALSA configuration of the user or the
// system that may route elsewhere.
bool AlsaMayWork() {
    if (PathExists(Env("HOME") + "/.asoundrc") || PathExists("/etc/asound.conf")) return true;
    DIR* dir = ::opendir("/dev/snd");
    if (!dir) return false;
    bool found = false;
    while (const dirent* entry = ::readdir(dir)) {
        const size_t n = std::strlen(entry->d_name);
        if (std::strncmp(entry->d_name, "pcmC", 4) == 0 && n > 4 && entry->d_name[n - 1] == 'p') {
            found = true;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

// SDL's drivers worth asking when nobody chose one. The libraries behind
// some of them write errors to standard error when no sound server or card
// exists (ALSA's configuration evaluator, PipeWire's config loader, sndio's
// ALSA fallback), so those are asked only when there are signs of one. A
// missing PulseAudio server fails silently. Drivers we do not know, and the
// dummy and disk drivers (SDL's own on-demand ones), are skipped.
bool WorthAsking(const char* driver) {
    const std::string name = driver;
    if (name == "pulseaudio") return true;
    if (name == "pipewire") {
        const std::string runtime = Env("XDG_RUNTIME_DIR");
        return !Env("PIPEWIRE_REMOTE").empty() || (!runtime.empty() && PathExists(runtime + "/pipewire-0"));
    }
    if (name == "alsa") return AlsaMayWork();
    if (name == "sndio") return PathExists("/tmp/sndio") || !Env("AUDIODEVICE").empty();
    if (name == "dsp") return PathExists("/dev/dsp");
    return false;
}

}  // namespace

int sdldevice::Open(mixer* source) {
    source_ = source;
    block_.assign(static_cast<size_t>(source->Entries()), 0);
    blockUsed_ = block_.size() * sizeof(int16_t);

    auto openDevice = [this] {
        SDL_AudioSpec want{};
        want.freq = kMixRate;
        want.format = AUDIO_S16SYS;
        want.channels = 2;
        want.samples = static_cast<Uint16>(source_->Frames());
        want.callback = queued_ ? nullptr : &sdldevice::Callback;
        want.userdata = queued_ ? nullptr : this;
        SDL_AudioSpec have{};
        // No changes allowed: SDL converts if the hardware wants another format.
        device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (device_ == 0) return false;
        SDL_PauseAudioDevice(device_, 0);
        return true;
    };
    auto tryCurrentChoice = [&] {
        if (detail::StartSDLPart(SDL_INIT_AUDIO) && openDevice()) return true;
        detail::StopSDLPart(SDL_INIT_AUDIO);
        return false;
    };

    // A driver named by the program or the environment (SDL_AUDIODRIVER), or
    // an audio subsystem someone else started: SDL's own choice stands.
    const char* chosen = SDL_GetHint(SDL_HINT_AUDIODRIVER);
    if (SDL_WasInit(SDL_INIT_AUDIO) || (chosen && *chosen)) return tryCurrentChoice() ? 0 : -1;

    for (int i = 0; i < SDL_GetNumAudioDrivers(); ++i) {
        const char* driver = SDL_GetAudioDriver(i);
        if (!driver || !WorthAsking(driver)) continue;
        SDL_SetHint(SDL_HINT_AUDIODRIVER, driver);
        const bool opened = tryCurrentChoice();
        SDL_ResetHint(SDL_HINT_AUDIODRIVER);
        if (opened) return 0;
    }
    source_ = nullptr;
    return -1;
}

void sdldevice::Close() {
    if (device_ != 0) SDL_CloseAudioDevice(device_);  // waits for the callback to end
    device_ = 0;
    detail::StopSDLPart(SDL_INIT_AUDIO);
    source_ = nullptr;
}

void sdldevice::Lock() {
    if (device_ != 0) SDL_LockAudioDevice(device_);
}

void sdldevice::Unlock() {
    if (device_ != 0) SDL_UnlockAudioDevice(device_);
}

void sdldevice::Queue(const int16_t* samples, int32_t frames, int32_t limitFrames) {
    if (device_ == 0 || !queued_ || frames <= 0) return;
    constexpr uint32_t kFrameBytes = 2 * sizeof(int16_t);
    if (SDL_GetQueuedAudioSize(device_) > static_cast<uint32_t>(limitFrames) * kFrameBytes) return;
    SDL_QueueAudio(device_, samples, static_cast<uint32_t>(frames) * kFrameBytes);
}

void sdldevice::Callback(void* self, uint8_t* stream, int length) {
    static_cast<sdldevice*>(self)->Fill(stream, length);
}

void sdldevice::Fill(uint8_t* stream, int length) {
    const size_t blockBytes = block_.size() * sizeof(int16_t);
    size_t wanted = length > 0 ? static_cast<size_t>(length) : 0;
    // The usual case: SDL asks for exactly one block.
    if (wanted == blockBytes && blockUsed_ == blockBytes) {
        source_->MixBlock(reinterpret_cast<int16_t*>(stream));
        return;
    }
    while (wanted > 0) {
        if (blockUsed_ == blockBytes) {
            source_->MixBlock(block_.data());
            blockUsed_ = 0;
        }
        const size_t n = std::min(wanted, blockBytes - blockUsed_);
        std::memcpy(stream, reinterpret_cast<const uint8_t*>(block_.data()) + blockUsed_, n);
        blockUsed_ += n;
        stream += n;
        wanted -= n;
    }
}

}  // namespace korva

// Plays a sound and moves it: the pan sweeps from left to right while the
// rate glides from half to double speed, then the sound pauses, resumes and
// stops. Give a WAV or Ogg file as the argument, or hear a synthesised chord.
// With no audio device the silent driver takes every request and plays nothing.
#include <korvagl/korvagl.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

using namespace korva;

namespace {

// Two seconds of a soft A-major chord in 16-bit stereo at 22050 Hz, with a
// short fade at both ends so that the loop does not click.
Ref<TPcmSample> SynthesiseChord() {
    const int32_t hertz = 22050, length = 2 * hertz;
    auto sample = NewPcmSample(length, hertz, SMP_STEREO16LE);
    auto* frames = reinterpret_cast<int16_t*>(sample->samples);
    const double notes[3] = {220.0, 277.18, 329.63};
    for (int32_t i = 0; i < length; ++i) {
        const double t = static_cast<double>(i) / hertz;
        const double fade = std::fmin(1.0, std::fmin(i, length - i) / 2000.0);
        double left = 0, right = 0;
        for (int n = 0; n < 3; ++n) {
            const double v = std::sin(2 * M_PI * notes[n] * t);
            left += v * (n == 1 ? 0.6 : 1.0);
            right += v * (n == 1 ? 1.0 : 0.6);
        }
        frames[2 * i] = static_cast<int16_t>(left * fade * 6000);
        frames[2 * i + 1] = static_cast<int16_t>(right * fade * 6000);
    }
    return sample;
}

void Wait(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

int main(int argc, char** argv) {
    return RunApplication(argc, argv, [] {
        const bool audible = DownCast<TSDLAudioBackend>(CurrentAudioBackend()) != nullptr;
        std::printf("%s\n", audible ? "playing through the SDL audio device"
                                    : "no audio device: the silent driver plays nothing");

        // Start-up made the program directory current: resolve the argument
        // against the directory the program was started from.
        Ref<TAudioClip> clip;
        if (ProgramArgs().size() > 1) {
            String path = ProgramArgs()[1];
            if (path.Length() > 0 && path[0] != u'/') path = StartDir() + "/" + path;
            clip = OpenSoundClip(path, SOUND_LOOP);
            if (!clip) {
                std::fprintf(stderr, "cannot load %s\n", path.ToBytes().c_str());
                return 1;
            }
        } else {
            clip = OpenSoundClip(SynthesiseChord(), SOUND_LOOP);
        }

        // A channel of our own. What is set on it before a sound starts holds
        // from the sound's first frame; changes made later glide across one
        // block. The sound is prepared paused, then resumed.
        Ref<TPlayback> channel = NewPlayback();
        if (!channel) return 1;
        SetPlaybackVolume(channel, 0.8f);
        SetPlaybackPan(channel, -1.0f);
        SetPlaybackRate(channel, 0.5f);
        PrepareClip(clip, channel);
        ResumePlayback(channel);

        const int steps = 40;
        for (int step = 0; step <= steps; ++step) {
            const float along = static_cast<float>(step) / steps;
            SetPlaybackPan(channel, -1.0f + 2.0f * along);
            SetPlaybackRate(channel, 0.5f * std::pow(4.0f, along));  // 0.5 to 2.0
            std::printf("\rpan %+5.2f  rate %4.2f  playing %d", -1.0f + 2.0f * along,
                        0.5f * std::pow(4.0f, along), PlaybackActive(channel));
            std::fflush(stdout);
            Wait(100);
        }
        std::printf("\npause\n");
        PausePlayback(channel);
        Wait(500);
        std::printf("resume, centred, inverted right phase\n");
        SetPlaybackPan(channel, 0.0f);
        SetPlaybackDepth(channel, -1.0f);
        ResumePlayback(channel);
        Wait(1000);
        StopPlayback(channel);
        std::printf("stopped, playing %d\n", PlaybackActive(channel));
        return 0;
    });
}

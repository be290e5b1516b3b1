// Plays music that loops: a file given as the argument (WAV, Ogg Vorbis,
// FLAC or MP3, from a path or any URL such as http::host/track.ogg), or a
// synthesised tune. The music streams: it is decoded as it plays, so a long
// track costs no more memory than a short one. A mixer callback measures the
// level of what is heard. After three seconds the music fades out.
// With no audio device the silent driver plays nothing and the example says so.
#include <korvagl/korvagl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

using namespace korva;

namespace {

// Two seconds of a little tune as a 16-bit stereo WAV file in memory.
std::string SynthesiseTune() {
    const int hertz = 22050, frames = 2 * hertz;
    const double notes[8] = {261.63, 329.63, 392.0, 523.25, 392.0, 329.63, 293.66, 246.94};
    std::string pcm;
    for (int i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / hertz;
        const double note = notes[i * 8 / frames];
        const double envelope = std::exp(-6.0 * std::fmod(t, 0.25));
        const auto v = static_cast<int16_t>(9000 * envelope * std::sin(2 * M_PI * note * t));
        for (int channel = 0; channel < 2; ++channel) pcm += {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
    }
    auto u32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
    auto u16 = [](uint32_t v) { return std::string{char(v), char(v >> 8)}; };
    const std::string format = u16(1) + u16(2) + u32(hertz) + u32(hertz * 4) + u16(4) + u16(16);
    return "RIFF" + u32(36 + static_cast<uint32_t>(pcm.size())) + "WAVEfmt " + u32(16) + format + "data" +
           u32(static_cast<uint32_t>(pcm.size())) + pcm;
}

std::atomic<int> g_peak{0};

void Wait(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

int main(int argc, char** argv) {
    static std::string tune = SynthesiseTune();  // the memory a memory stream reads
    return RunApplication(argc, argv, [] {
        Ref<TMusic> music;
        if (ProgramArgs().size() > 1) {
            String url = ProgramArgs()[1];
            // A relative path is taken from where the program was started.
            if (url.Find("::") < 0 && url.Length() > 0 && url[0] != u'/') url = StartDir() + "/" + url;
            music = OpenMusic(url);
        } else {
            music = OpenMusic(Ref<Object>(NewMemoryStream(tune.data(), static_cast<int32_t>(tune.size()), 1, 0)));
        }
        if (!music) {
            std::fprintf(stderr, "%s\n", LastErrorText().ToUtf8().c_str());
            return 1;
        }

        // The level meter runs on the mixer thread: it only stores a number.
        SetMixerCallback([](int16_t* samples, int32_t frames) {
            int peak = 0;
            for (int32_t i = 0; i < 2 * frames; ++i) peak = std::max(peak, std::abs(int{samples[i]}));
            g_peak.store(peak, std::memory_order_relaxed);
        });

        // The whole track loops, without a gap, for ever; a track from a
        // source that cannot seek plays through once.
        SetMusicLoop(music, -1, 0, -1);
        if (!PlayMusic(music)) {
            std::printf("no audio device: the silent driver plays nothing (%s)\n", LastErrorText().ToUtf8().c_str());
            return 0;
        }
        const double length = MusicDuration(music);
        if (length >= 0) std::printf("looping a track of %.2f s\n", length);
        else std::printf("playing a track of unknown length\n");

        for (int step = 0; step < 40 && MusicPlaying(music); ++step) {
            if (step == 30) FadeMusic(music, 0.0f, 1000);
            std::printf("\rat %6.2f s  level %5d", MusicPosition(music), g_peak.load(std::memory_order_relaxed));
            std::fflush(stdout);
            Wait(100);
        }
        std::printf("\n");
        if (!MusicErrorText(music).IsEmpty()) std::printf("%s\n", MusicErrorText(music).ToUtf8().c_str());
        CloseMusic(music);
        SetMixerCallback(nullptr);
        std::printf("done\n");
        return 0;
    });
}

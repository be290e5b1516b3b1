// Streaming music and the compressed decoders, each beside its reference in
// one run (the machine is shared: contestants alternate, several rounds,
// CPU time, medians):
//   memory   peak resident set of a process that plays a 20-minute stereo
//            Ogg through, against one that plays a 10-second one, and the
//            growth per music with eight playing at once;
//   latency  from PlayMusic (and from PlayClip) to the mixed block that
//            first sounds, on SDL's disk driver paced like a sound card,
//            at 1024- and 4096-frame blocks;
//   cpu      a minute of the 20-minute Ogg played as music in real time
//            (worker and mixer threads) against a plain ov_read loop over
//            the same frames;
//   decode   a 3-minute FLAC and MP3 through ReadPcmSample and through a
//            reader, against `flac -d` and `mpg123` writing to /dev/null.
// `bench_music` runs everything; `bench_music memory|latency|cpu|decode`
// one part. The files are made once in /tmp by the encoders' libraries.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "audio/device/audio_library_internal.h"
#include "korvagl/korvagl.h"
#include "support/audio_fixtures.h"

extern char** environ;

namespace korva {
namespace {

const std::string kLong = "/tmp/korvagl_bench_music_20min_v2.ogg";
const std::string kShort = "/tmp/korvagl_bench_music_10s_v2.ogg";
const std::string kFlac = "/tmp/korvagl_bench_music_3min.flac";
const std::string kMp3 = "/tmp/korvagl_bench_music_3min.mp3";

bool Exists(const std::string& path) { return std::ifstream(path).good(); }

void Make(const std::string& path, const std::function<std::string()>& encode) {
    if (Exists(path)) return;
    std::fprintf(stderr, "making %s\n", path.c_str());
    const std::string bytes = encode();
    std::ofstream(path, std::ios::binary) << bytes;
}

// Something like music for the encoder: a chord that changes every half
// second, notes that decay, and a little noise, so that the Ogg comes out
// at a usual bitrate (about 120 kbit/s at quality 0.4).
std::vector<int16_t> MusicLike(int frames) {
    std::vector<int16_t> out(static_cast<size_t>(frames) * 2);
    uint32_t noise = 12345;
    const double roots[4] = {220.0, 261.63, 196.0, 174.61};
    for (int i = 0; i < frames; ++i) {
        const double t = i / 44100.0;
        const double root = roots[(i / 22050) % 4];
        const double decay = std::exp(-4.0 * std::fmod(t, 0.5));
        for (int c = 0; c < 2; ++c) {
            noise = noise * 1664525u + 1013904223u;
            double v = 0;
            for (double ratio : {1.0, 1.25, 1.5, 2.0}) v += std::sin(2 * M_PI * root * ratio * (1 + 0.002 * c) * t);
            v = 5000 * decay * v + 900.0 * (static_cast<int32_t>(noise >> 16) - 32768) / 32768.0;
            out[static_cast<size_t>(i) * 2 + c] = static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0));
        }
    }
    return out;
}

void MakeFiles() {
    Make(kShort, [] { return test::OggFileOf(2, 44100, MusicLike(10 * 44100), 0.4f); });
    Make(kLong, [] { return test::OggFileOf(2, 44100, MusicLike(20 * 60 * 44100), 0.4f); });
    Make(kFlac, [] { return test::FlacFile(2, 44100, test::ToneFrames(2, 44100, 3 * 60 * 44100)); });
    Make(kMp3, [] { return test::Mp3File(2, 44100, test::ToneFrames(2, 44100, 3 * 60 * 44100), 192); });
}

double CpuSeconds(clockid_t clock = CLOCK_PROCESS_CPUTIME_ID) {
    timespec t;
    clock_gettime(clock, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

int64_t ResidentKiB() {
    std::ifstream statm("/proc/self/statm");
    int64_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

int64_t PeakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Runs a program, its output to /dev/null; its CPU time (user + system).
double ChildCpu(const std::vector<std::string>& args, const std::string& out = "/dev/null") {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &files, nullptr, argv.data(), environ) != 0) return -1;
    posix_spawn_file_actions_destroy(&files);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec * 1e-6 + usage.ru_stime.tv_sec + usage.ru_stime.tv_usec * 1e-6;
}

// The library on a render device: the mixer runs when we ask, as fast as
// the worker decodes.
renderdevice* OpenRenderDevice() {
    InitMP3Loader();
    InitFLACLoader();
    InitOggLoader();
    InitWAVLoader();
    auto device = std::make_unique<renderdevice>();
    renderdevice* render = device.get();
    detail::OpenAudioDevice(std::move(device));
    return render;
}

// Mixes until every music ended (or `seconds` of sound are done), waiting
// for the workers rather than mixing silence.
void PlayThrough(renderdevice* render, const std::vector<Ref<TMusic>>& musics, double seconds) {
    for (const Ref<TMusic>& m : musics) PlayMusic(m);
    const int64_t blocks = static_cast<int64_t>(seconds * 44100 / AudioBlockFrames());
    for (int64_t b = 0; b < blocks; ++b) {
        bool any = false;
        for (const Ref<TMusic>& m : musics) {
            if (!MusicPlaying(m)) continue;
            any = true;
            // The last frames of a track never fill a block: after a while
            // the block is mixed anyway (and the end marker goes through).
            for (int wait = 0; wait < 50 && detail::MusicBufferedFrames(m) < AudioBlockFrames(); ++wait) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        }
        if (!any) break;
        render->Render();
    }
}

// Child: plays `path` (`count` copies at once) through and prints its memory.
int MemoryChild(const std::string& path, int count, double seconds) {
    renderdevice* render = OpenRenderDevice();
    const int64_t before = ResidentKiB();
    std::vector<Ref<TMusic>> musics;
    for (int i = 0; i < count; ++i) musics.push_back(OpenMusic(String(path)));
    PlayThrough(render, musics, seconds);
    std::printf("%lld %lld %.1f\n", static_cast<long long>(before), static_cast<long long>(PeakKiB()),
                MusicPosition(musics[0]));
    return 0;
}

void Memory(const char* self) {
    std::printf("\n== memory: peak resident set (KiB) of a process playing the track through\n");
    std::printf("%-34s %10s %10s %12s %10s %10s\n", "case", "before", "peak", "peak-before", "per music", "played s");
    struct Case {
        const char* name;
        std::string path;
        int count;
        const char* seconds;
    } cases[] = {{"10-second Ogg, whole", kShort, 1, "1e9"},
                 {"20-minute Ogg, whole", kLong, 1, "1e9"},
                 {"8 x 20-minute Ogg, 30 s each", kLong, 8, "30"},
                 {"10-second Ogg, whole (again)", kShort, 1, "1e9"},
                 {"20-minute Ogg, whole (again)", kLong, 1, "1e9"}};
    for (const Case& c : cases) {
        const std::string out = "/tmp/korvagl_bench_music_child.txt";
        ChildCpu({self, "memory-child", c.path, std::to_string(c.count), c.seconds}, out);
        long long before = 0, peak = 0;
        double played = 0;
        if (FILE* f = std::fopen(out.c_str(), "r")) {
            if (std::fscanf(f, "%lld %lld %lf", &before, &peak, &played) != 3) before = peak = 0;
            std::fclose(f);
        }
        std::printf("%-34s %10lld %10lld %12lld %10lld %10.1f\n", c.name, before, peak, peak - before,
                    (peak - before) / c.count, played);
    }
}

// Latency: the time from the call to the moment the mixer has mixed the
// first block that holds its sound (the device then plays that block after
// what it already holds).
void Latency() {
    std::printf("\n== latency: PlayMusic / PlayClip to the first sounding block mixed (ms), disk driver at the pace of a sound card\n");
    std::printf("%-8s %-8s %8s %8s %8s\n", "block", "what", "median", "max", "runs");
    InitOggLoader();
    InitWAVLoader();
    for (int32_t block : {1024, 4096}) {
        const std::string delay = std::to_string(block * 1000 / 44100);
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
        setenv("SDL_DISKAUDIODELAY", delay.c_str(), 1);
        SetAudioBlockFrames(block);
        InitAudioDriver();
        if (OpenAudio() != 0) return;
        std::atomic<int64_t> sounded{0};
        SetMixerCallback([&](int16_t* samples, int32_t frames) {
            if (sounded.load(std::memory_order_relaxed) != 0) return;
            for (int32_t i = 0; i < 2 * frames; ++i) {
                if (samples[i] != 0) {
                    sounded.store(std::chrono::steady_clock::now().time_since_epoch().count(), std::memory_order_relaxed);
                    return;
                }
            }
        });
        const Ref<TMusic> music = OpenMusic(String(kShort));
        const Ref<TAudioClip> clip = OpenSoundClip(String(kShort), 0);
        for (const char* what : {"music", "clip"}) {
            std::vector<double> ms;
            for (int run = 0; run < 15; ++run) {
                std::this_thread::sleep_for(std::chrono::milliseconds(150 + 7 * run));  // a different phase each run
                sounded = 0;
                const auto start = std::chrono::steady_clock::now();
                Ref<TPlayback> channel;
                if (what[0] == 'm') PlayMusic(music);
                else channel = PlayClip(clip);
                while (sounded.load() == 0) std::this_thread::sleep_for(std::chrono::microseconds(100));
                const auto mixed = std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(sounded.load()));
                ms.push_back(std::chrono::duration<double, std::milli>(mixed - start).count());
                if (channel) StopPlayback(channel);
                StopMusic(music);
                std::this_thread::sleep_for(std::chrono::milliseconds(2 * block * 1000 / 44100));
            }
            std::printf("%-8d %-8s %8.1f %8.1f %8zu\n", block, what, Median(ms), *std::max_element(ms.begin(), ms.end()),
                        ms.size());
        }
        CloseMusic(music);
        SetMixerCallback(nullptr);
        CloseAudio();
    }
    SetAudioBlockFrames(kDefaultAudioBlockFrames);
}

// The first `frames` frames of the file through ov_read into a small
// buffer: straight through, or (`paced`) as a player does, 0.3 s of sound
// every 0.3 s, which costs more on a shared machine because the decoder's
// tables are out of the cache after each pause.
double PlainOvRead(const std::string& path, int64_t frames, bool paced = false) {
    const double start = CpuSeconds();
    OggVorbis_File file;
    if (ov_fopen(path.c_str(), &file) != 0) return -1;
    static char buffer[16384];
    int section = 0;
    constexpr int64_t kBurst = 13230 * 4;  // bytes of 0.3 s
    const auto begin = std::chrono::steady_clock::now();
    for (int64_t bytes = frames * 4, burst = 0; bytes > 0;) {
        const long n = ov_read(&file, buffer, static_cast<int>(std::min<int64_t>(bytes, sizeof buffer)), 0, 2, 1, &section);
        if (n <= 0) break;
        bytes -= n;
        if (paced && (burst += n) >= kBurst) {
            burst = 0;
            std::this_thread::sleep_until(begin + std::chrono::milliseconds(300) * ((frames * 4 - bytes) / kBurst));
        }
    }
    ov_clear(&file);
    return CpuSeconds() - start;
}

struct Spent {
    double process = 0, main = 0;  // CPU of every thread, of the calling (mixing) thread
};

// The same frames played as music, the mixer called at the pace of a sound
// card from this thread (a render device), the worker decoding beside it.
// With an empty path the device runs alone: what the pacing and the mixing
// of silence cost, which a sound card's thread pays anyway.
Spent MusicInRealTime(renderdevice* render, const std::string& path, int64_t frames, int64_t* stalled) {
    const Spent start{CpuSeconds(), CpuSeconds(CLOCK_THREAD_CPUTIME_ID)};
    const Ref<TMusic> music = path.empty() ? nullptr : OpenMusic(String(path));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (music) PlayMusic(music);
    const auto block = std::chrono::nanoseconds(int64_t{AudioBlockFrames()} * 1000000000 / 44100);
    const auto begin = std::chrono::steady_clock::now();
    for (int64_t b = 0; b * AudioBlockFrames() < frames; ++b) {
        std::this_thread::sleep_until(begin + b * block);
        render->Render();
    }
    if (music) {
        *stalled = detail::MusicStalledFrames(music);
        CloseMusic(music);
    }
    return Spent{CpuSeconds() - start.process, CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - start.main};
}

// What playing costs beyond the device: the worker's thread (reading and
// decoding, all of it) and what mixing the music adds to the mixing thread,
// for 10 and for 40 seconds of the track. The difference between the two
// is what each further 30 s cost, without the fixed cost of opening (the
// figure a 20-minute track comes to).
void Cpu() {
    std::printf("\n== cpu: 10 s and 40 s of the 20-minute stereo Ogg (ms of CPU)\n");
    renderdevice* render = OpenRenderDevice();
    std::vector<double> plain[2], paced[2], music[2];
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 2; ++i) {
            const int64_t frames = (i == 0 ? 10 : 40) * int64_t{44100};
            int64_t stalled = 0;
            const Spent idle = MusicInRealTime(render, "", frames, &stalled);
            plain[i].push_back(PlainOvRead(kLong, frames) * 1000);
            paced[i].push_back(PlainOvRead(kLong, frames, true) * 1000);
            const Spent played = MusicInRealTime(render, kLong, frames, &stalled);
            const double worker = (played.process - played.main) * 1000, mixing = (played.main - idle.main) * 1000;
            music[i].push_back(worker + mixing);
            std::printf("round %d, %2d s: ov_read loop %.1f, paced %.1f; worker %.1f + mixing %.1f = %.1f (%lld frames "
                        "stalled)\n",
                        round + 1, i == 0 ? 10 : 40, plain[i].back(), paced[i].back(), worker, mixing, music[i].back(),
                        static_cast<long long>(stalled));
        }
    }
    auto slope = [](const std::vector<double>* v) { return Median(v[1]) - Median(v[0]); };
    std::printf("median, 40 s: ov_read loop %.1f ms, paced %.1f ms, music %.1f ms: %.3fx the loop, %.3fx paced\n",
                Median(plain[1]), Median(paced[1]), Median(music[1]), Median(music[1]) / Median(plain[1]),
                Median(music[1]) / Median(paced[1]));
    std::printf("each further 30 s: ov_read loop %.1f ms, paced %.1f ms, music %.1f ms: %.3fx the loop, %.3fx paced\n",
                slope(plain), slope(paced), slope(music), slope(music) / slope(plain), slope(music) / slope(paced));
    CloseAudio();
}

double LoadSample(const std::string& path) {
    const double start = CpuSeconds();
    Ref<TPcmSample> sample = ReadPcmSample(String(path));
    if (!sample) return -1;
    return CpuSeconds() - start;
}

double ReadThrough(const std::string& path) {
    const double start = CpuSeconds();
    Ref<TByteStream> stream = OpenReadStream(String(path));
    Ref<TPcmReader> reader = OpenPcmReader(stream, "bench");
    static int16_t frames[2 * 4096];
    while (reader && reader->Read(frames, 4096) > 0) {
    }
    stream->Close();
    return CpuSeconds() - start;
}

void Decode() {
    std::printf("\n== decode: 3-minute 44100 Hz stereo files (s of CPU)\n");
    InitMP3Loader();
    InitFLACLoader();
    InitOggLoader();
    InitWAVLoader();
    struct Contest {
        const char* name;
        std::string path;
        std::vector<std::string> tool;
    } contests[] = {{"FLAC", kFlac, {"flac", "-d", "-s", "-c", "-f", kFlac}},
                    {"MP3", kMp3, {"mpg123", "-q", "-s", kMp3}}};
    for (const Contest& c : contests) {
        std::vector<double> tool, sample, reader;
        for (int round = 0; round < 5; ++round) {
            tool.push_back(ChildCpu(c.tool));
            sample.push_back(LoadSample(c.path));
            reader.push_back(ReadThrough(c.path));
        }
        std::printf("%-5s %s: %.3f s; ReadPcmSample %.3f s (%.3fx); reader %.3f s (%.3fx)\n", c.name, c.tool[0].c_str(),
                    Median(tool), Median(sample), Median(sample) / Median(tool), Median(reader),
                    Median(reader) / Median(tool));
    }
}

}  // namespace
}  // namespace korva

int main(int argc, char** argv) {
    using namespace korva;
    const std::string part = argc > 1 ? argv[1] : "";
    if (part == "memory-child" && argc == 5) return MemoryChild(argv[2], std::atoi(argv[3]), std::atof(argv[4]));
    MakeFiles();
    if (part.empty() || part == "memory") Memory(argv[0]);
    if (part.empty() || part == "latency") Latency();
    if (part.empty() || part == "cpu") Cpu();
    if (part.empty() || part == "decode") Decode();
    return 0;
}

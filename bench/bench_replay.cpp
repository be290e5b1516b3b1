// A replay on the fixed clock beside the same scene in real time: a small
// game scene (four drifting discs, a steered arrow, a line of text, 640x480)
// runs 600 frames in a child process, once paced to 60 Hz as a player sees
// it, once replaying recorded arrow keys with KORVAGL_REPLAY, which never
// sleeps; and a replay of 6000 frames (100 s of play), over which the
// process start-up counts for little. Headless (SDL's offscreen display)
// unless DISPLAY is set.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "korvagl/korvagl.h"

extern char** environ;

namespace {

using namespace korva;

constexpr int kFrames = 600, kLongFrames = 6000;
std::string self;

// The scene: what examples/game draws, for `frames` frames.
int Scene(int argc, char** argv, int frames) {
    return RunApplication(argc, argv, [frames] {
        OpenGraphics(640, 480, 0, 60);
        SetAutoMidHandle(1);
        Ref<TPixmap> disc = NewPixmap(40, 40, PIX_RGB24);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 40; ++x) disc->WritePixel(x, y, (x - 20) * (x - 20) + (y - 20) * (y - 20) < 361 ? 0xFF808080u : 0xFF000000u);
        const Ref<TImage> rock = LoadImageFile(disc);
        float x = 320, y = 420, rocks[4][2] = {{0, 100}, {100, 80}, {500, 200}, {300, 0}};
        const Ref<TFixedStep> step = NewFixedStep(60);
        for (int frame = 0; frame < frames; ++frame) {
            for (int32_t n = WaitFrameTimer(step); n > 0; --n) {
                x += 4 * (KeyIsDown(KEY_RIGHT) - KeyIsDown(KEY_LEFT));
                y += 4 * (KeyIsDown(KEY_DOWN) - KeyIsDown(KEY_UP));
                for (auto& r : rocks) r[0] = std::fmod(r[0] + 2, 640), r[1] = std::fmod(r[1] + 1.5f, 480);
            }
            ClearScreen();
            for (auto& r : rocks) DrawImageAt(rock, r[0], r[1]);
            DrawRect(x - 8, y - 8, 16, 16);
            DrawText("frame " + IntToString(frame), 8, 8);
            FlipFrame();
        }
        return 0;
    });
}

// Runs the scene in a child with `env` added; wall seconds, child CPU seconds.
std::pair<double, double> RunScene(const std::vector<std::string>& env, int frames) {
    std::vector<std::string> entries(env);
    for (char** e = environ; *e; ++e) entries.emplace_back(*e);
    std::vector<char*> envp;
    for (auto& e : entries) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string arg0 = self, arg1 = "--scene", arg2 = std::to_string(frames);
    char* argv[] = {arg0.data(), arg1.data(), arg2.data(), nullptr};
    rusage before{}, after{};
    getrusage(RUSAGE_CHILDREN, &before);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv, envp.data()) != 0) return {-1, -1};
    int status = 0;
    waitpid(pid, &status, 0);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    getrusage(RUSAGE_CHILDREN, &after);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    const double cpu = seconds(after.ru_utime) - seconds(before.ru_utime) + seconds(after.ru_stime) -
                       seconds(before.ru_stime);
    return {WIFEXITED(status) && WEXITSTATUS(status) == 0 ? wall : -1, cpu};
}

std::string Recording(int frames) {
    const std::string path =
        "/tmp/korvagl-bench-replay-" + std::to_string(getpid()) + "-" + std::to_string(frames) + ".txt";
    std::ofstream out(path);
    out << "korvagl-input 1\nframe-ms 16\nseed 4660\n";
    for (int f = 30; f + 40 < frames; f += 60) {
        const int key = 79 + (f / 60) % 4;  // right, left, down, up in turn
        out << f << " key down " << key << " mod=0\n" << f + 40 << " key up " << key << " mod=0\n";
    }
    out << frames << " end\n";
    return path;
}

void Run(benchmark::State& state, const std::vector<std::string>& env, double sceneMs, int frames = kFrames) {
    double wall = 0, cpu = 0;
    for (auto _ : state) {
        const auto [w, c] = RunScene(env, frames);
        if (w < 0) {
            state.SkipWithError("the scene failed");
            return;
        }
        state.SetIterationTime(w);
        wall += w, cpu += c;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["frames_per_s"] = frames * n / wall;
    state.counters["cpu_ms_per_frame"] = cpu * 1000 / (frames * n);
    // How many times faster than the frames' time on the scene's clock.
    state.counters["x_real_time"] = frames * sceneMs / 1000 * n / wall;
}

void BM_RealTime60Hz(benchmark::State& state) {
    Run(state, {"KORVAGL_OFFSCREEN=1", "SDL_AUDIODRIVER=dummy"}, 1000.0 / 60);
}
void BM_ReplayFixedClock(benchmark::State& state) {
    static const std::string recording = Recording(kFrames);
    Run(state, {"KORVAGL_REPLAY=" + recording, "SDL_AUDIODRIVER=dummy"}, 16);
}
void BM_ReplayFixedClockLong(benchmark::State& state) {
    static const std::string recording = Recording(kLongFrames);
    Run(state, {"KORVAGL_REPLAY=" + recording, "SDL_AUDIODRIVER=dummy"}, 16, kLongFrames);
}
BENCHMARK(BM_RealTime60Hz)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplayFixedClock)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplayFixedClockLong)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::strcmp(argv[1], "--scene") == 0) return Scene(argc, argv, std::atoi(argv[2]));
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    self = n > 0 ? std::string(path, static_cast<size_t>(n)) : argv[0];
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

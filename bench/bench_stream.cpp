// Streams against the system's own tools, side by side in one run:
//   LoadBytes of a 64 MiB file        vs  cat FILE >/dev/null (and the floor:
//                                         a read into fresh, unzeroed memory)
//   CopyToEnd file to file            vs  cp FILE COPY
//   ReadLine over ~40-byte lines      (MB/s; the generic byte-by-byte reader
//                                      through a proxy for comparison)
// The tools run as child processes, so their figures include starting them.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "korvagl/korvagl.h"

extern char** environ;

using namespace korva;

namespace {

constexpr size_t kBigSize = 64u << 20;
constexpr size_t kLinesSize = 32u << 20;

struct Files {
    std::string dir;
    std::string big;
    std::string copy;
    std::string lines;

    Files() {
        char pattern[] = "/tmp/korvagl-bench-XXXXXX";
        if (!mkdtemp(pattern)) std::abort();
        dir = pattern;
        big = dir + "/big.bin";
        copy = dir + "/copy.bin";
        lines = dir + "/lines.txt";
        std::vector<char> bytes(kBigSize);
        uint32_t x = 12345;
        for (char& b : bytes) {
            x = x * 1664525u + 1013904223u;
            b = static_cast<char>(x >> 24);
        }
        Write(big, bytes.data(), bytes.size());
        // Lines of 20 to 60 bytes (40 on average) with CR LF ends.
        std::string text;
        while (text.size() < kLinesSize) {
            x = x * 1664525u + 1013904223u;
            const size_t length = 18 + (x >> 24) % 41;
            for (size_t i = 0; i < length; ++i) text.push_back(static_cast<char>('a' + (i * 7 + text.size()) % 26));
            text += "\r\n";
        }
        Write(lines, text.data(), text.size());
    }
    ~Files() { std::filesystem::remove_all(dir); }

    static void Write(const std::string& path, const char* data, size_t size) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!f || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0) std::abort();
    }
};

Files& TheFiles() {
    static Files files;
    return files;
}

// Runs a program with standard output on /dev/null and waits for it.
void Run(std::vector<std::string> args) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) std::abort();
    int status;
    waitpid(pid, &status, 0);
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::abort();
}

void BM_Cat64MiB(benchmark::State& state) {
    const Files& files = TheFiles();
    for (auto _ : state) Run({"cat", files.big});
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBigSize));
}

void BM_LoadBytes64MiB(benchmark::State& state) {
    const String path(TheFiles().big);
    for (auto _ : state) {
        ByteArray bytes = LoadBytes(path);
        if (bytes.size() != kBigSize) std::abort();
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBigSize));
}

// The least any loader can do: read the file into fresh memory that is never
// zeroed by the program (huge pages, as LoadBytes asks for). What LoadBytes
// adds on top is the zero-fill that every new byte array gets.
void BM_FreshMemoryFloor64MiB(benchmark::State& state) {
    const std::string& path = TheFiles().big;
    constexpr size_t kHuge = 2u << 20;
    for (auto _ : state) {
        void* block = mmap(nullptr, kBigSize + kHuge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        auto* at = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(block) + kHuge - 1) & ~(kHuge - 1));
        madvise(at, kBigSize, MADV_HUGEPAGE);
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        size_t n = 0;
        for (ssize_t got; (got = read(fd, at + n, std::min<size_t>(kBigSize - n, 1u << 20))) > 0;) n += got;
        close(fd);
        benchmark::DoNotOptimize(at);
        munmap(block, kBigSize + kHuge);
        if (n != kBigSize) std::abort();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBigSize));
}

void BM_Cp64MiB(benchmark::State& state) {
    const Files& files = TheFiles();
    for (auto _ : state) Run({"cp", files.big, files.copy});
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBigSize));
}

void BM_CopyToEnd64MiB(benchmark::State& state) {
    const Files& files = TheFiles();
    for (auto _ : state) {
        Ref<TByteStream> from = OpenReadStream(String(files.big));
        Ref<TByteStream> to = OpenWriteStream(String(files.copy));
        CopyToEnd(from, to);
        from->Close();
        to->Close();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBigSize));
}

void ReadLines(benchmark::State& state, bool generic) {
    const String path(TheFiles().lines);
    int64_t bytes = 0;
    for (auto _ : state) {
        Ref<TByteStream> file = OpenReadStream(path);
        Ref<TByteStream> s = generic ? Ref<TByteStream>(New<TProxyStream>(file)) : file;
        int64_t count = 0;
        while (!s->Eof()) count += s->ReadLine().Length() + 2;
        file->Close();
        bytes += count;
    }
    state.SetBytesProcessed(bytes);
}

void BM_ReadLineFile(benchmark::State& state) { ReadLines(state, false); }
void BM_ReadLineGeneric(benchmark::State& state) { ReadLines(state, true); }

}  // namespace

BENCHMARK(BM_Cat64MiB)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_LoadBytes64MiB)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_FreshMemoryFloor64MiB)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_Cp64MiB)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_CopyToEnd64MiB)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_ReadLineFile)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_ReadLineGeneric)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(1);

int main(int argc, char** argv) {
    InitStreams();
    TheFiles();  // written before any timing starts
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// Loading a 3-minute stereo Ogg Vorbis file (44100 Hz, encoded here with
// libvorbisenc) with ReadPcmSample, against a plain ov_read loop over the
// same file into a buffer of the same size.
#include <benchmark/benchmark.h>
#include <vorbis/vorbisfile.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "korvagl/audio/sample_decoder.h"
#include "korvagl/korvagl.h"
#include "support/audio_fixtures.h"

namespace korva {
namespace {

constexpr int kRate = 44100;
constexpr int kFrames = 3 * 60 * kRate;

const std::string& OggPath() {
    static const std::string path = [] {
        std::string p = "/tmp/korvagl_bench_ogg_load.ogg";
        std::ofstream(p, std::ios::binary) << test::OggFile(2, kRate, kFrames, 0.4f);
        return p;
    }();
    return path;
}

void BM_ReadPcmSample(benchmark::State& state) {
    InitOggLoader();
    InitWAVLoader();
    const String path(OggPath());
    for (auto _ : state) {
        Ref<TPcmSample> sample = ReadPcmSample(path);
        if (!sample || sample->length != kFrames) state.SkipWithError("the file did not load");
        benchmark::DoNotOptimize(sample->samples);
    }
    state.SetItemsProcessed(state.iterations() * int64_t{kFrames});
}

void BM_PlainOvRead(benchmark::State& state) {
    const std::string& path = OggPath();
    for (auto _ : state) {
        OggVorbis_File file;
        if (ov_fopen(path.c_str(), &file) != 0) {
            state.SkipWithError("ov_fopen failed");
            break;
        }
        const int64_t bytes = ov_pcm_total(&file, 0) * 4;
        char* buffer = static_cast<char*>(std::calloc(static_cast<size_t>(bytes), 1));
        int section = 0;
        for (int64_t done = 0; done < bytes;) {
            const long n = ov_read(&file, buffer + done, static_cast<int>(bytes - done), 0, 2, 1, &section);
            if (n <= 0) break;
            done += n;
        }
        benchmark::DoNotOptimize(buffer);
        std::free(buffer);
        ov_clear(&file);
    }
    state.SetItemsProcessed(state.iterations() * int64_t{kFrames});
}

BENCHMARK(BM_PlainOvRead)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_ReadPcmSample)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace
}  // namespace korva

BENCHMARK_MAIN();

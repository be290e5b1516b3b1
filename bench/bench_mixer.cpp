// Mixing throughput of the software mixer alone: looping voices mixed block
// by block on the calling thread (no audio device), reported as voice-frames
// per second (one voice-frame is one data frame of one voice mixed into one
// output frame). The second argument is the block's length in frames.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "audio/device/audio_library_internal.h"
#include "korvagl/korvagl.h"

namespace korva {
namespace {

// Opens the library on a render device with `voices` looping voices of
// one-second data in the given layout, at volume 0.8 and pan 0.3.
class MixerRig {
public:
    MixerRig(int voices, int bits, int channels, int32_t rate, int32_t blockFrames) {
        InitAudioDriver();
        SetAudioBlockFrames(blockFrames);
        auto device = std::make_unique<renderdevice>();
        device_ = device.get();
        detail::OpenAudioDevice(std::move(device));
        std::mt19937 random(7);
        std::vector<uint8_t> bytes(44100 * channels * bits / 8);
        for (auto& b : bytes) b = static_cast<uint8_t>(random());
        data_ = CreateSoundData(44100, bits, channels, 44100, bytes.data(), -1);
        for (int i = 0; i < voices; ++i) {
            const int32_t h = PlaySoundData(0, data_, 0);
            SetHandleVolume(h, static_cast<int16_t>(0.8 * 4096));
            SetHandlePan(h, static_cast<int16_t>(0.3 * 4096));
            SetHandleRate(h, rate);
            if (i % 1000 == 999) device_->Render();  // keep the start ring from filling
        }
        device_->Render();  // the parameter ramps
    }
    ~MixerRig() {
        CloseAudio();
        FreeSoundData(data_);
    }
    void Block() { benchmark::DoNotOptimize(device_->Render().data()); }

private:
    renderdevice* device_;
    sounddata* data_;
};

void Run(benchmark::State& state, int bits, int channels, int32_t rate) {
    const int voices = static_cast<int>(state.range(0));
    const auto framesPerBlock = static_cast<int32_t>(state.range(1));
    MixerRig rig(voices, bits, channels, rate, framesPerBlock);
    for (auto _ : state) rig.Block();
    state.SetItemsProcessed(state.iterations() * voices * framesPerBlock);
    state.counters["voices_realtime"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * voices * framesPerBlock / 44100.0, benchmark::Counter::kIsRate);
}

void BM_Mix16BitStereo(benchmark::State& state) { Run(state, 16, 2, 65536); }
void BM_Mix8BitStereo(benchmark::State& state) { Run(state, 8, 2, 65536); }
void BM_Mix16BitMono(benchmark::State& state) { Run(state, 16, 1, 65536); }
void BM_Mix16BitStereoRate137(benchmark::State& state) { Run(state, 16, 2, static_cast<int32_t>(1.37 * 65536)); }
void BM_Mix8BitStereoRate137(benchmark::State& state) { Run(state, 8, 2, static_cast<int32_t>(1.37 * 65536)); }

BENCHMARK(BM_Mix16BitStereo)->ArgsProduct({{1, 64, 1024}, {1024, 4096}});
BENCHMARK(BM_Mix16BitStereo)->Args({64, 256});
BENCHMARK(BM_Mix8BitStereo)->ArgsProduct({{64, 1024}, {1024, 4096}});
BENCHMARK(BM_Mix16BitMono)->ArgsProduct({{64}, {1024, 4096}});
BENCHMARK(BM_Mix16BitStereoRate137)->ArgsProduct({{64, 1024}, {1024, 4096}});
BENCHMARK(BM_Mix8BitStereoRate137)->ArgsProduct({{64}, {1024, 4096}});

}  // namespace
}  // namespace korva

BENCHMARK_MAIN();

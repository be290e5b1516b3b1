// Streaming music: the program thread's controls, and the worker that
// decodes ahead of the mixer into the music's stream data.
//
// The program thread and the worker share a mutex and a condition variable
// for requests (seek, loop, quit); the mixer is never part of that. The
// worker and the mixer meet only in the stream data (a ring of frames with
// markers, stream_data.h), and the program thread reads what the mixer
// publishes there. Each request that moves the playing (a seek, a restart)
// gets a new epoch; the worker marks the frames it decodes for it with that
// epoch, so the program thread knows when the mixer has got there.
#include "korvagl/audio/music.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/device/audio_library_internal.h"
#include "audio/device/fixed_point.h"
#include "audio/device/stream_data.h"
#include "korvagl/app/last_error.h"
#include "korvagl/audio/audio_library.h"
#include "korvagl/audio/pcm_reader.h"
#include "korvagl/stream/file_stream.h"
#include "korvagl/stream/socket.h"
#include "korvagl/stream/stream.h"
#include "korvagl/stream/tcp_stream.h"
#include "korvagl/system/replay.h"

namespace korva {
namespace {

constexpr uint32_t kRingFrames = 32768;  // about 0.75 s at 44100 Hz
// Decoded ahead while not playing: enough to start at once, and room left
// for a seek to be decoded before the mixer has dropped what it replaces.
constexpr uint32_t kIdleFrames = 8192;
constexpr int32_t kChunkFrames = 4096;   // decoded at a time, so requests are served soon
// How long the worker sleeps when it cannot go on: the mixer never wakes
// it, so it looks again after a while. With frames buffered it sleeps for
// half the time they last at the music's rate (at most 300 ms), so a
// playing music costs about three wake-ups a second; a request (including
// a change of rate) wakes it at once.
constexpr int64_t kShortWaitMs = 5, kLongWaitMs = 300;

enum class Playing { Stopped, Playing, Paused };

// What the program thread asks of the worker (under the lock).
struct Requests {
    bool quit = false;
    bool active = false;  // playing: decode as far ahead as the ring holds
    float rate = 1.0f;     // the music's rate, for how long the buffered frames last
    bool changed = false;  // `active` or `rate` changed
    bool seek = false;
    int64_t seekFrame = 0;
    uint32_t seekEpoch = 0;
    bool restartLoops = false;
    bool loopChanged = false;
    int32_t loops = 0;
    int64_t loopStart = 0, loopEnd = -1;

    bool Any() const { return quit || seek || loopChanged || changed; }
};

// The socket under a network stream (through any proxies), to wake a worker
// blocked on it; 0 for other streams.
int32_t SocketUnder(Ref<TByteStream> stream) {
    while (stream) {
        if (auto tcp = DownCast<TTcpStream>(stream)) return tcp->Socket();
        auto proxy = DownCast<TProxyStream>(stream);
        if (!proxy) break;
        stream = proxy->Stream();
    }
    return 0;
}

}  // namespace

// The one place where frames of the sound become seconds and back.
namespace detail {
double MusicSeconds(int64_t frame, int32_t hertz) { return hertz > 0 ? static_cast<double>(frame) / hertz : 0.0; }
int64_t MusicFrame(double seconds, int32_t hertz) {
    if (!(seconds > 0)) return 0;  // NaN too
    const double frame = std::floor(seconds * hertz);
    return frame >= 9.0e18 ? std::numeric_limits<int64_t>::max() : static_cast<int64_t>(frame);
}
}  // namespace detail

struct TMusic::State {
    // Fixed once open.
    String name;             // for reasons: the URL in quotes, or "stream"
    Ref<TByteStream> source;  // what OpenMusic opened; Close closes it
    Ref<TPcmReader> reader;   // the worker's alone while it runs
    int32_t socket = 0;
    int32_t channels = 0, hertz = 0;
    int64_t length = -1;
    bool seekable = false;
    streamdata* ring = nullptr;

    // The program thread's.
    bool closed = false;
    Playing playing = Playing::Stopped;
    bool started = false;  // played since it opened
    uint32_t epoch = 0;
    int64_t requestedFrame = 0;  // where the latest request moved to
    int32_t handle = 0, openCount = 0;
    float volume = 1.0f, pan = 0.0f, rate = 1.0f;

    // Shared with the worker, under `lock`.
    std::mutex lock;
    std::condition_variable wake;
    Requests requests;
    String failure;  // why the data of `failureEpoch` ended early
    uint32_t failureEpoch = streamdata::kNoEpoch;
    // The worker waits with nothing to do (idle) or has ended (done); the
    // fixed clock's device waits on `settled` for that before it mixes.
    bool idle = false, done = false;
    std::condition_variable settled;
    bool lagging = false;  // the program thread's: the last settle timed out
    std::thread worker;

    ~State() {
        if (ring) ring->Release();
    }

    bool Finished() const { return ring->endedEpoch.load(std::memory_order_acquire) == epoch; }
    // The frame the mixer has played up to, or the latest request's until
    // the mixer has got there.
    int64_t PositionFrame() const {
        if (ring->playedEpoch.load(std::memory_order_acquire) != epoch) return requestedFrame;
        return ring->playedFrame.load(std::memory_order_relaxed);
    }
    bool VoiceLive() const { return handle != 0 && openCount == detail::AudioOpenCount(); }

    // A playing or paused music that has ended counts as stopped.
    void Refresh() {
        if (playing != Playing::Stopped && Finished()) {
            playing = Playing::Stopped;
            Run(false);
        }
    }

    // Lets the mixer play the voice or holds it, and tells the worker how
    // far ahead to decode.
    void Run(bool on) {
        if (VoiceLive()) PauseHandle(handle, on ? 0 : 1);
        {
            std::lock_guard<std::mutex> hold(lock);
            requests.active = on;
            requests.changed = true;
        }
        wake.notify_one();
    }

    void Request(int64_t frame, bool restartLoops) {
        ++epoch;
        requestedFrame = frame;
        {
            std::lock_guard<std::mutex> hold(lock);
            requests.seek = true;
            requests.seekFrame = frame;
            requests.seekEpoch = epoch;
            requests.restartLoops = requests.restartLoops || restartLoops;
        }
        wake.notify_one();
    }

    bool Refuse(const char* why) {
        detail::SetLastErrorText(name + ": " + why);
        return false;
    }

    // A voice in the open device for the ring, paused, with the music's
    // volume, pan and rate from its first frame.
    bool EnsureVoice() {
        if (VoiceLive()) return true;
        handle = detail::PlayStreamData(ring, 1, detail::ToGain(volume), detail::ToGain(pan), detail::ToRate(rate));
        openCount = detail::AudioOpenCount();
        if (handle != 0) return true;
        return Refuse(openCount == 0 ? "no audio device is open" : "no free channel");
    }

    void Close();
    void Work();
};

namespace {

// Every open music, so that the workers end before the process does.
std::vector<TMusic::State*>& OpenMusics() {
    static auto* open = new std::vector<TMusic::State*>;
    return *open;
}

void CloseEveryMusic() {
    while (!OpenMusics().empty()) OpenMusics().back()->Close();
}

}  // namespace

// Asks every worker to look again, then waits until each has done all it
// can. A source that blocks (a network stream) is waited for 2 s at most,
// and not again until its worker has caught up; the mixer meanwhile finds
// what there is, as it would in real time.
void detail::SettleMusic() {
    constexpr auto kLongest = std::chrono::seconds(2);
    for (TMusic::State* m : OpenMusics()) {
        std::lock_guard<std::mutex> hold(m->lock);
        if (m->lagging) m->lagging = !m->idle && !m->done;  // still inside a read
        m->requests.changed = true;
        m->wake.notify_one();
    }
    for (TMusic::State* m : OpenMusics()) {
        if (m->lagging) continue;
        std::unique_lock<std::mutex> hold(m->lock);
        m->lagging = !m->settled.wait_for(hold, kLongest, [m] { return m->done || (m->idle && !m->requests.Any()); });
    }
}

void TMusic::State::Close() {
    if (closed) return;
    closed = true;
    std::erase(OpenMusics(), this);
    {
        std::lock_guard<std::mutex> hold(lock);
        requests.quit = true;
    }
    wake.notify_one();
    if (socket != 0) ShutdownSocket(socket);  // a worker waiting for the network returns now
    if (worker.joinable()) worker.join();
    if (VoiceLive()) StopHandle(handle);  // the mixer recycles the voice and lets the ring go
    handle = 0;
    reader = nullptr;
    if (source) source->Close();
    source = nullptr;
}

// The worker: decodes into the ring while there is room, marks seeks,
// loops and the end, and otherwise sleeps until the mixer has made room (it
// looks again after a while) or a request comes.
void TMusic::State::Work() {
    int64_t frame = 0;  // the track frame the next decoded frame is
    uint32_t dataEpoch = 0;
    int32_t loops = 0, loopsLeft = 0;
    int64_t loopStart = 0, loopEnd = -1;
    int64_t sinceJump = 0;  // frames decoded since the last jump back
    bool skipDue = false, jumpDue = false, endDue = false, ended = false;
    String why;  // why the data ends early

    // On the fixed clock the worker works only when asked (a request, or
    // SettleMusic before each block), never on a timer of its own, so the
    // frames the mixer finds are the same in every run.
    const bool clocked = FixedFrameMs() > 0;
    auto wait = [&](int64_t ms) {
        std::unique_lock<std::mutex> hold(lock);
        idle = true;
        settled.notify_all();
        if (clocked) {
            wake.wait(hold, [&] { return requests.Any(); });
        } else {
            wake.wait_for(hold, std::chrono::milliseconds(ms), [&] { return requests.Any(); });
        }
        idle = false;
    };
    auto fail = [&](const String& cause) {
        why = cause.IsEmpty() ? String(name + ": the data cannot be decoded") : cause;
        endDue = true;
    };
    auto decoderFailure = [&] {
        const String cause = detail::TakeDecoderFailure();
        return cause.IsEmpty() ? String() : name + ": " + cause;
    };
    auto seekTo = [&](int64_t target) {
        try {
            return reader->Seek(target) == 1;
        } catch (const TFault& fault) {
            detail::TakeDecoderFailure();
            detail::SetDecoderFailure(fault.ToString());
            return false;
        }
    };
    // The frame after the loop's end is its start: decoding goes on there,
    // behind a jump marker.
    auto jumpBack = [&] {
        if (!seekTo(loopStart)) {
            fail(decoderFailure());
            return;
        }
        frame = loopStart;
        sinceJump = 0;
        if (loopsLeft > 0) --loopsLeft;
        jumpDue = true;
    };

    for (;;) {
        Requests taken;
        {
            std::lock_guard<std::mutex> hold(lock);
            if (requests.quit) return;
            taken = requests;
            requests.seek = requests.loopChanged = requests.restartLoops = requests.changed = false;
        }
        if (taken.loopChanged) {
            loops = loopsLeft = taken.loops;
            loopStart = taken.loopStart;
            loopEnd = taken.loopEnd;
        }
        if (taken.seek) {
            if (taken.restartLoops) loopsLeft = loops;
            dataEpoch = taken.seekEpoch;
            frame = taken.seekFrame;
            sinceJump = 0;
            why = String();
            jumpDue = endDue = ended = false;
            if (!seekTo(frame)) fail(decoderFailure());
            ring->AnnounceSkip(dataEpoch);
            skipDue = true;
        }
        // Markers first: no frame may go into the ring ahead of its marker.
        // A full marker ring waits for the mixer.
        auto mark = [&](bool& due, uint32_t kind) {
            if (due && ring->Mark(kind, frame, dataEpoch)) due = false;
            return !due;
        };
        const bool wasEndDue = endDue;
        if (!mark(skipDue, STREAM_SKIP) || !mark(jumpDue, STREAM_JUMP) || !mark(endDue, STREAM_END)) {
            wait(kShortWaitMs);
            continue;
        }
        if (wasEndDue) {
            ended = true;
            if (!why.IsEmpty()) {
                std::lock_guard<std::mutex> hold(lock);
                failure = why;
                failureEpoch = dataEpoch;
            }
        }
        uint32_t room = 0;
        int16_t* span = ring->WritableSpan(room);
        if (!taken.active) room = std::min(room, kIdleFrames - std::min(kIdleFrames, ring->Buffered()));
        if (ended || room == 0) {
            const double speed = std::clamp(static_cast<double>(taken.rate), 0.25, 64.0);
            const auto lasts = static_cast<int64_t>(ring->Buffered() * 500.0 / (hertz * speed));
            wait(ended || !taken.active ? kLongWaitMs : std::clamp(lasts, kShortWaitMs, kLongWaitMs));
            continue;
        }

        const bool looping = loopsLeft != 0;
        int64_t want = std::min<int64_t>(room, kChunkFrames);
        if (looping && loopEnd >= 0 && frame <= loopEnd) want = std::min(want, loopEnd + 1 - frame);
        int32_t got = -1;
        String thrown;
        try {
            got = reader->Read(span, static_cast<int32_t>(want));
        } catch (const TFault& fault) {
            thrown = name + ": " + fault.ToString();
        }
        if (got > 0) {
            ring->Commit(static_cast<uint32_t>(got));
            frame += got;
            sinceJump += got;
            if (looping && loopEnd >= 0 && frame == loopEnd + 1) jumpBack();
            continue;
        }
        // A source that failed on the way says why itself.
        if (source->Eof() < 0) {
            detail::TakeDecoderFailure();
            fail(LastErrorText());
            continue;
        }
        if (got < 0) {
            fail(thrown.IsEmpty() ? decoderFailure() : thrown);
            continue;
        }
        // The end of the data: the loop's start follows, or nothing.
        if (looping && (sinceJump > 0 || frame > loopStart)) {
            jumpBack();
            continue;
        }
        endDue = true;
    }
}

TMusic::TMusic(std::unique_ptr<State> state) : state_(std::move(state)) {}

TMusic::~TMusic() { state_->Close(); }

namespace {

Ref<TMusic> Open(const Ref<TByteStream>& stream, const String& name) {
    if (!stream) return nullptr;  // the opener said why
    Ref<TPcmReader> reader;
    try {
        reader = OpenPcmReader(stream, name);
    } catch (...) {
        stream->Close();
        throw;
    }
    if (!reader) {
        stream->Close();
        return nullptr;
    }
    auto state = std::make_unique<TMusic::State>();
    state->name = name;
    state->source = stream;
    state->reader = reader;
    state->socket = SocketUnder(stream);
    state->channels = reader->channels;
    state->hertz = reader->hertz;
    state->length = reader->length;
    state->seekable = reader->seekable != 0;
    state->ring = new streamdata(reader->channels, reader->hertz, kRingFrames);
    TMusic::State* inner = state.get();
    static const bool registered = (std::atexit(&CloseEveryMusic), true);
    (void)registered;
    auto music = New<TMusic>(std::move(state));
    inner->worker = std::thread([inner] {
        try {
            inner->Work();
        } catch (...) {  // out of memory: the music goes quiet, the program goes on
            std::lock_guard<std::mutex> hold(inner->lock);
            inner->failure = inner->name + ": decoding stopped (out of memory)";
            inner->failureEpoch = inner->requests.seekEpoch;
        }
        std::lock_guard<std::mutex> hold(inner->lock);
        inner->done = true;
        inner->settled.notify_all();
    });
    OpenMusics().push_back(inner);
    detail::ClearLastErrorText();
    return music;
}

String SourceName(const Ref<Object>& source) {
    if (DownCast<TStringObject>(source)) return detail::Quoted(UnboxString(source));
    return "stream";
}

}  // namespace

// Music streams as it plays, so only a file name is checked before opening:
// a FIFO nobody writes would otherwise stall the open.
Ref<TMusic> OpenMusic(const String& url) {
    if (url.IsEmpty() || url.Find("::") >= 0) return Open(OpenReadStream(url), detail::Quoted(url));
    detail::ClearLastErrorText();
    return Open(TFileStream::OpenFileForLoading(url), detail::Quoted(url));
}
Ref<TMusic> OpenMusic(const Ref<Object>& source) { return DownCast<TStringObject>(source) ? OpenMusic(UnboxString(source)) : Open(OpenReadStream(source), SourceName(source)); }

void CloseMusic(const Ref<TMusic>& music) { music->Inner().Close(); }

int32_t PlayMusic(const Ref<TMusic>& music) {
    TMusic::State& m = music->Inner();
    if (m.closed) return m.Refuse("the music is closed");
    if (!m.EnsureVoice()) return 0;
    m.Refresh();
    // Once it has played, starting again means going back to the start,
    // except from a pause or after StopMusic (which went back already).
    const bool again = m.playing == Playing::Playing || (m.playing == Playing::Stopped && m.started && m.Finished());
    if (again || (m.playing == Playing::Stopped && m.started && !m.seekable)) {
        if (!m.seekable) return m.Refuse("cannot play again: the source cannot seek");
        m.Request(0, true);
    }
    m.playing = Playing::Playing;
    m.started = true;
    m.Run(true);
    return 1;
}

void PauseMusic(const Ref<TMusic>& music) {
    TMusic::State& m = music->Inner();
    m.Refresh();
    if (m.closed || m.playing != Playing::Playing) return;
    m.playing = Playing::Paused;
    m.Run(false);
}

void ResumeMusic(const Ref<TMusic>& music) {
    TMusic::State& m = music->Inner();
    m.Refresh();
    if (m.closed || m.playing != Playing::Paused || !m.VoiceLive()) return;
    m.playing = Playing::Playing;
    m.Run(true);
}

void StopMusic(const Ref<TMusic>& music) {
    TMusic::State& m = music->Inner();
    if (m.closed) return;
    m.Run(false);
    m.playing = Playing::Stopped;
    if (m.seekable) m.Request(0, true);
}

int32_t MusicPlaying(const Ref<TMusic>& music) {
    TMusic::State& m = music->Inner();
    m.Refresh();
    return !m.closed && m.playing != Playing::Stopped ? 1 : 0;
}

int32_t SeekMusic(const Ref<TMusic>& music, double seconds) {
    TMusic::State& m = music->Inner();
    if (m.closed) return m.Refuse("the music is closed");
    if (!m.seekable) return m.Refuse("cannot seek: the source cannot seek");
    m.Refresh();
    int64_t frame = detail::MusicFrame(seconds, m.hertz);
    if (m.length >= 0) frame = std::min(frame, m.length);
    m.Request(frame, false);
    return 1;
}

double MusicPosition(const Ref<TMusic>& music) {
    TMusic::State& m = music->Inner();
    return detail::MusicSeconds(m.PositionFrame(), m.hertz);
}

double MusicDuration(const Ref<TMusic>& music) {
    TMusic::State& m = music->Inner();
    return m.length >= 0 ? detail::MusicSeconds(m.length, m.hertz) : -1.0;
}

int32_t MusicHertz(const Ref<TMusic>& music) { return music->Inner().hertz; }

int32_t SetMusicLoop(const Ref<TMusic>& music, int32_t loops, int64_t startFrame, int64_t endFrame) {
    TMusic::State& m = music->Inner();
    if (m.closed) return m.Refuse("the music is closed");
    if (loops != 0 && !m.seekable) return m.Refuse("cannot loop: the source cannot seek");
    if (startFrame < 0 || endFrame < -1 || (endFrame >= 0 && endFrame < startFrame)) {
        return m.Refuse("a loop must start at a frame of 0 or more and end at or after it");
    }
    if (m.length >= 0 && (startFrame >= m.length || endFrame >= m.length)) {
        return m.Refuse("the loop lies beyond the end of the music");
    }
    {
        std::lock_guard<std::mutex> hold(m.lock);
        m.requests.loopChanged = true;
        m.requests.loops = loops < -1 ? -1 : loops;
        m.requests.loopStart = startFrame;
        m.requests.loopEnd = endFrame;
    }
    m.wake.notify_one();
    // While nothing plays, the mixer stands still: what the worker decoded
    // ahead under the old loop is decoded again from where it stands.
    m.Refresh();
    if (m.playing != Playing::Playing && m.seekable) m.Request(m.Finished() ? 0 : m.PositionFrame(), false);
    return 1;
}

void SetMusicVolume(const Ref<TMusic>& music, float volume) {
    TMusic::State& m = music->Inner();
    m.volume = volume;
    m.ring->fade.store(streamdata::FadeRequest(detail::ToGain(volume), 0), std::memory_order_release);
}

void FadeMusic(const Ref<TMusic>& music, float volume, int32_t milliseconds) {
    TMusic::State& m = music->Inner();
    // Before its voice exists, a music starts at its volume and fades from there.
    if (m.VoiceLive()) m.volume = volume;
    const int64_t frames = std::clamp<int64_t>(int64_t{milliseconds} * 44100 / 1000, 0, 0xFFFFFFFF);
    m.ring->fade.store(streamdata::FadeRequest(detail::ToGain(volume), static_cast<uint32_t>(frames)),
                       std::memory_order_release);
}

void SetMusicPan(const Ref<TMusic>& music, float pan) {
    TMusic::State& m = music->Inner();
    m.pan = pan;
    if (m.VoiceLive()) SetHandlePan(m.handle, detail::ToGain(pan));
}

void SetMusicRate(const Ref<TMusic>& music, float rate) {
    TMusic::State& m = music->Inner();
    m.rate = rate;
    if (m.VoiceLive()) SetHandleRate(m.handle, detail::ToRate(rate));
    {
        std::lock_guard<std::mutex> hold(m.lock);
        m.requests.rate = std::isnan(rate) ? 1.0f : rate;
        m.requests.changed = true;
    }
    m.wake.notify_one();
}

String MusicErrorText(const Ref<TMusic>& music) {
    TMusic::State& m = music->Inner();
    std::lock_guard<std::mutex> hold(m.lock);
    return m.failureEpoch == m.epoch ? m.failure : String();
}

int64_t detail::MusicStalledFrames(const Ref<TMusic>& music) {
    return static_cast<int64_t>(music->Inner().ring->stalledFrames.load(std::memory_order_relaxed));
}

int32_t detail::MusicBufferedFrames(const Ref<TMusic>& music) {
    TMusic::State& m = music->Inner();
    streamdata& ring = *m.ring;
    if (ring.markedEpoch.load(std::memory_order_acquire) != m.epoch) return 0;  // the worker is not there yet
    const uint64_t from = std::max(ring.read.load(std::memory_order_acquire), ring.markedAt.load(std::memory_order_relaxed));
    return static_cast<int32_t>(ring.written.load(std::memory_order_acquire) - from);
}

}  // namespace korva

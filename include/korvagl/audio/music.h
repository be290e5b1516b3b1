// KorvaGL: streaming music.
//
// A TMusic plays a sound of any length as it decodes it, mixed with the
// samples by the same mixer. OpenMusic takes any URL OpenStream opens (a
// file, "incbin::", a memory stream, "http::", "https::", ...) or a stream
// object, in any format a sample decoder streams (WAV, Ogg Vorbis, FLAC,
// MP3). Any number of musics may play at once.
//
// Memory: each music keeps about 0.75 s of decoded sound (32768 frames:
// 128 KiB in stereo) beside its decoder's own state, whatever the length of
// the sound.
//
// Threads: each open music has a worker thread that does every read of the
// source and all decoding, ahead of the mixer; the mixer only takes decoded
// frames from a ring and never waits for the worker. When the source stalls
// (a slow server), the music plays silence for the missing part and goes on
// from the same frame when data comes. A source that fails ends the music,
// and MusicErrorText says why. Call these functions from the program
// thread; a stream object given to OpenMusic belongs to the worker until
// CloseMusic.
//
// Positions and lengths are in seconds, loop points in frames of the
// sound's own rate (MusicHertz). Changes (volume, pan, rate, pause) take
// effect at the next mixer block, about 23 ms; a seek or a restart within
// about two blocks.
//
// Sources that cannot seek (tcp, http, https): the music plays through
// once; SeekMusic, SetMusicLoop with loops, and playing again after it
// stopped or ended fail softly (0, with the reason in LastErrorText), and
// MusicDuration is -1 unless the data states its length.
//
// Without an audio device (the silent base driver) a music opens, and
// PlayMusic returns 0: nothing plays.
#pragma once

#include <cstdint>
#include <memory>

#include "korvagl/app/object.h"
#include "korvagl/app/string.h"

namespace korva {

class TMusic : public Object {
public:
    struct State;
    explicit TMusic(std::unique_ptr<State> state);
    // Closes the music (CloseMusic).
    ~TMusic() override;
    TMusic(const TMusic&) = delete;
    TMusic& operator=(const TMusic&) = delete;

    State& Inner() { return *state_; }

private:
    std::unique_ptr<State> state_;
};

// The music of `source` (a URL or a stream object), ready to play: the null
// object, with the reason in LastErrorText, when the source does not open or
// no decoder knows its data (`"theme.xm": no sound decoder accepts this
// data`).
Ref<TMusic> OpenMusic(const String& url);
Ref<TMusic> OpenMusic(const Ref<Object>& source);
// Stops the music, ends its worker and closes the stream it opened (a
// stream object given to OpenMusic stays open). Dropping the last reference
// does the same; every later call on the music does nothing (0, -1).
void CloseMusic(const Ref<TMusic>& music);

// Starts playing from the start, resumes a paused music, and starts a
// playing one again from the start. 1, or 0 when nothing plays (no audio
// device, a source that cannot start again, a closed music).
int32_t PlayMusic(const Ref<TMusic>& music);
void PauseMusic(const Ref<TMusic>& music);
void ResumeMusic(const Ref<TMusic>& music);
// Stops and goes back to the start.
void StopMusic(const Ref<TMusic>& music);
// 1 while the music plays or is paused; 0 once stopped or ended.
int32_t MusicPlaying(const Ref<TMusic>& music);

// Moves to `seconds` from the start (clamped to the length); playing goes
// on from there. 1, or 0 when the source cannot seek.
int32_t SeekMusic(const Ref<TMusic>& music, double seconds);
// Where playing is, in seconds from the start (to one mixer block).
double MusicPosition(const Ref<TMusic>& music);
// The length in seconds, or -1 when the data does not say.
double MusicDuration(const Ref<TMusic>& music);
// The sound's frames per second.
int32_t MusicHertz(const Ref<TMusic>& music);

// Plays frames startFrame to endFrame (inclusive; -1 for the last frame)
// again `loops` more times (-1 for ever, 0 to stop looping), gaplessly: the
// frame after endFrame is startFrame, exactly. Once the loops are done the
// music plays on to its end. The count starts again with each SetMusicLoop
// and each start from the beginning. Set while playing, it holds from the
// next time the decoder reaches endFrame (it decodes up to 0.75 s ahead).
// 1, or 0 when the frames lie outside the sound or the source cannot seek.
int32_t SetMusicLoop(const Ref<TMusic>& music, int32_t loops, int64_t startFrame, int64_t endFrame);

// 1.0 is the sound's own level; the change glides across one block.
void SetMusicVolume(const Ref<TMusic>& music, float volume);
// -1.0 full left, 0 centre, 1.0 full right.
void SetMusicPan(const Ref<TMusic>& music, float pan);
// Speed factor: 1.0 is the sound's own rate (pitch goes with it).
void SetMusicRate(const Ref<TMusic>& music, float rate);
// Moves the volume to `volume` in a straight line over `milliseconds` of
// playing (a paused music holds its fade); a later volume change or fade
// takes over from where it is. Fade one music out and another in at the
// same time to cross-fade; a music faded to 0 keeps playing, silently.
void FadeMusic(const Ref<TMusic>& music, float volume, int32_t milliseconds);

// Why the music ended early (the source failed, the data is corrupt), or
// the empty string.
String MusicErrorText(const Ref<TMusic>& music);

namespace detail {
// Output frames the mixer had no decoded frames for since the music opened
// (the source stalled, or the worker fell behind).
int64_t MusicStalledFrames(const Ref<TMusic>& music);
// Decoded frames waiting for the mixer.
int32_t MusicBufferedFrames(const Ref<TMusic>& music);
}  // namespace detail

}  // namespace korva

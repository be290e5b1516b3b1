// KorvaGL: why a load failed.
//
// The loading calls (OpenStream and every opener, LoadBytes, LoadText,
// SaveBytes, SaveText, UserDataDir, UserConfigDir, ReadPixmap, LoadImageFile,
// LoadAnimImageFile, OpenImageFont, ReadPcmSample and the sound loaders,
// ScriptEngine::RunFile and LoadScript, OpenGraphics) keep their documented
// results: the null object, 0 or a raised error. Beside that, each records
// on the calling thread why it failed, and clears the record when it
// succeeds. The reason names the thing and the cause, for example
//   cannot open "assets/ship.png": No such file or directory
//   "x.png": no image decoder accepts this data
// Reasons carry outside text (file names, URLs, a server's words, a script's
// message) in an escaped form, so that a reason is always one line and
// nothing in it can drive a terminal: a backslash reads "\\", line feed,
// carriage return and tab read "\n", "\r" and "\t", and every other control
// character (U+0000-U+001F, U+007F-U+009F) reads "\xHH" with two upper-case
// hex digits. All other text stands as it is; a reason without these
// characters is unchanged.
// With KORVAGL_LOG=1 in the environment each reason is also written to
// standard error as one line (UTF-8).
#pragma once

#include "korvagl/app/string.h"

namespace korva {

// The reason the last loading call of this thread failed; empty after a
// success (and before any loading call).
String LastErrorText();

namespace detail {
// `text` in the escaped form above.
String Escaped(const String& text);
// Records the reason of a failure for this thread, escaped (and logs it when
// KORVAGL_LOG=1).
void SetLastErrorText(const String& reason);
// Records a failure only when none has been recorded since the last clear:
// an outer call keeps the more precise reason an inner one gave.
void SetLastErrorTextIfNone(const String& reason);
// Forgets the recorded reason: the call succeeded, or is starting afresh.
void ClearLastErrorText();
// The text in double quotes, as reasons name files and URLs.
String Quoted(const String& text);

// For decoders, which see only a stream: a decoder that recognised its
// format but refuses the data records why, without naming the source (for
// example "corrupt PNG data: IHDR: CRC error"), and returns the null object.
// The registry loop that called it (ReadPixmap, ReadPcmSample) takes the
// reason and records it as `"name": reason`. Within one loop the first
// decoder's reason is kept. Nothing is logged until the loop records it.
void SetDecoderFailure(const String& reason);
// The reason a decoder recorded on this thread since the last call, which
// it forgets; empty when none.
String TakeDecoderFailure();
}  // namespace detail

}  // namespace korva

// KorvaGL: standard input and output.
//
// ConsoleStream() is one process-wide stream that reads standard input and
// writes standard output (created by InitStandardIO). It has no position or
// size, so its Eof is always 0; reading after the end of input returns 0,
// which ReadFully turns into TStreamReadError. Close does nothing: the
// standard files stay open.
//
// WriteStdout, WriteStderr and ReadStdinLine are the plain console functions
// the console requesters use; they need no initialiser.
#pragma once

#include <cstdint>

#include "korvagl/stream/stream.h"

namespace korva {

class TConsoleStream : public TByteStream {
public:
    int32_t Flush() override;
    int32_t Read(void* buf, int32_t count) override;
    int32_t Write(const void* buf, int32_t count) override;
};

// The console stream, or the null object before InitStandardIO.
const Ref<TConsoleStream>& ConsoleStream();

// The text's low bytes and CR LF on standard output, flushed. Returns 0.
int32_t PrintLine(const String& text);
// Shows `prompt` (no line end), then reads one line from standard input
// without its line end (see TByteStream::ReadLine).
String InputLine(const String& prompt);

// The text's low bytes on standard output (standard error), flushed.
int32_t WriteStdout(const String& text);
int32_t WriteStderr(const String& text);
// One line of standard input of at most 1023 bytes, without its LF (a CR
// before it is kept); the rest of a longer line stays for the next call.
// The empty string at the end of input.
String ReadStdinLine();

// Module initialiser: creates ConsoleStream.
int InitStandardIO();

}  // namespace korva

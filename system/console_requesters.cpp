// The platform driver's requesters on the console: prompts on standard
// output, answers read as one line from standard input. At the end of input
// the line is empty, which answers no, cancel or no file name.
#include "korvagl/stream/console.h"
#include "korvagl/system/platform_driver.h"
#include "system/console_requesters.h"

namespace korva {
namespace {

// The answer's first character, lower-cased (A-Z only); 0 for an empty line.
char16_t FirstLower(const String& line) {
    if (line.IsEmpty()) return 0;
    const char16_t c = line[0];
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
}

}  // namespace

int32_t detail::YesNoAnswer(const String& line) { return FirstLower(line) == u'y' ? 1 : 0; }

int32_t detail::YesNoCancelAnswer(const String& line) {
    switch (FirstLower(line)) {
        case u'y': return 1;
        case u'n': return 0;
        default: return -1;
    }
}

void TPlatformDriver::ShowNotice(const String& text, int32_t) { WriteStdout(text + "\r\n"); }

int32_t TPlatformDriver::AskYesNo(const String& text, int32_t) {
    WriteStdout(text + " (Yes/No)?");
    return detail::YesNoAnswer(ReadStdinLine());
}

int32_t TPlatformDriver::AskYesNoCancel(const String& text, int32_t) {
    WriteStdout(text + " (Yes/No/Cancel)?");
    return detail::YesNoCancelAnswer(ReadStdinLine());
}

String TPlatformDriver::AskFileName(const String&, const String&, int32_t, const String&) {
    WriteStdout("Enter a filename:");
    return ReadStdinLine();
}

}  // namespace korva

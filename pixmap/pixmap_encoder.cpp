// The pixmap encoder registry, SavePixmap, and the module "pixmap encoders".
#include "korvagl/pixmap/pixmap_encoder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "korvagl/app/faults.h"
#include "korvagl/app/last_error.h"
#include "korvagl/app/modules.h"
#include "korvagl/app/plugin_list.h"
#include "korvagl/stream/file_stream.h"
#include "korvagl/stream/file_system.h"

namespace korva {
namespace {

constinit TPluginList<TPixmapEncoder> pixmapEncoders;

std::string LowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// The extension of the last name in a URL, lower case without the dot; empty
// when the name has none.
std::string UrlExtension(const String& url) {
    const std::string text = url.ToBytes();
    size_t start = text.rfind("::");
    start = start == std::string::npos ? 0 : start + 2;
    const size_t slash = text.find_last_of("/\\");
    if (slash != std::string::npos && slash + 1 > start) start = slash + 1;
    const size_t dot = text.rfind('.');
    if (dot == std::string::npos || dot < start || dot + 1 == text.size()) return {};
    return LowerAscii(text.substr(dot + 1));
}

std::string WithoutDot(const String& format) {
    std::string text = LowerAscii(format.ToBytes());
    if (!text.empty() && text[0] == '.') text.erase(0, 1);
    return text;
}

class TFunctionPixmapEncoder : public TPixmapEncoder {
public:
    TFunctionPixmapEncoder(const String& extensions, PixmapEncodeFunction encode) : encode_(std::move(encode)) {
        const std::string text = LowerAscii(extensions.ToBytes());
        size_t at = 0;
        while (at < text.size()) {
            const size_t space = text.find(' ', at);
            const size_t end = space == std::string::npos ? text.size() : space;
            std::string name = text.substr(at, end - at);
            if (!name.empty() && name[0] == '.') name.erase(0, 1);
            if (!name.empty()) extensions_.push_back(name);
            at = end + 1;
        }
    }
    int32_t Accepts(const String& extension) override {
        const std::string name = extension.ToBytes();
        for (const std::string& e : extensions_) {
            if (e == name) return 1;
        }
        return 0;
    }
    int32_t WritePixmap(const Ref<TPixmap>& pixmap, TByteStream& stream, int32_t quality) override {
        encode_(pixmap, stream, quality);
        return 1;
    }

private:
    PixmapEncodeFunction encode_;
    std::vector<std::string> extensions_;
};

// Why a save failed, already naming the target; returned by the steps below
// and recorded once at the top.
struct Failure {
    String reason;  // empty: no failure
    explicit operator bool() const { return !reason.IsEmpty(); }
};

// The reason a write to `stream` failed: the system's words for a file's
// error (a full disk), else the fault's text.
String WriteCause(TByteStream& stream, const String& fault) {
    TByteStream* inner = &stream;
    while (auto* proxy = dynamic_cast<TProxyStream*>(inner)) {
        if (!proxy->Stream()) break;
        inner = proxy->Stream().Get();
    }
    const int32_t code = dynamic_cast<TFileStream*>(inner) ? inner->WriteFailed() : 0;
    return code > 0 ? String(std::strerror(code)) : fault;
}

// Encodes into an open stream. `closeAfter`: the stream is ours, closed on
// every path, and a failure of the close is a failure of the save.
String EncodeInto(TPixmapEncoder& encoder, const Ref<TPixmap>& pixmap, TByteStream& stream, int32_t quality,
                  bool closeAfter) {
    String cause;
    try {
        encoder.WritePixmap(pixmap, stream, quality);
        stream.Flush();
    } catch (const TStreamError& fault) {
        cause = WriteCause(stream, fault.ToString());
    } catch (const TRuntimeError& fault) {
        cause = fault.ToString();
    } catch (...) {
        // Any other fault is the caller's; the stream is still ours to close.
        if (closeAfter) {
            try {
                stream.Close();
            } catch (...) {
            }
        }
        throw;
    }
    if (closeAfter) {
        try {
            stream.Close();
        } catch (const TFault& fault) {
            if (cause.IsEmpty()) cause = fault.ToString();
        }
    }
    if (cause.IsEmpty() && stream.WriteFailed()) cause = WriteCause(stream, TStreamWriteError().ToString());
    return cause;
}

// The permission bits a new file gets: 0666 less the process's umask, read
// without changing it (umask(2) would, for every thread at once).
mode_t NewFileMode() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) return 0666 & ~static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
    }
    return 0644;
}

// Saves to a file path: into a new file beside it, renamed over it once
// complete, so a failed write never leaves a partial file.
String SaveToFile(TPixmapEncoder& encoder, const Ref<TPixmap>& pixmap, const String& url, int32_t quality) {
    const std::string path = detail::NativePath(url);
    if (path.empty()) return "not a valid file name";
    struct stat info;
    const bool exists = ::stat(path.c_str(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode)) return std::strerror(EISDIR);
    if (exists && !S_ISREG(info.st_mode)) {
        // A pipe or a device cannot be replaced; it takes the bytes as they come.
        Ref<TByteStream> stream = OpenWriteStream(url);
        if (!stream) return LastErrorText();
        return EncodeInto(encoder, pixmap, *stream, quality, true);
    }
    const size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = directory + "." + name + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return std::strerror(errno);
    ::fchmod(fd, exists ? (info.st_mode & 07777) : NewFileMode());
    std::FILE* file = ::fdopen(fd, "wb");
    if (!file) {
        const int code = errno;
        ::close(fd);
        ::unlink(temp.c_str());
        return std::strerror(code);
    }
    Ref<TFileStream> stream = TFileStream::FromFile(file);
    String cause;
    try {
        cause = EncodeInto(encoder, pixmap, *stream, quality, true);
    } catch (...) {
        ::unlink(temp.c_str());
        throw;
    }
    if (cause.IsEmpty() && ::rename(temp.c_str(), path.c_str()) != 0) cause = std::strerror(errno);
    if (!cause.IsEmpty()) ::unlink(temp.c_str());
    return cause;
}

// Every save comes here. `name` is how reasons name the target.
int32_t Save(const Ref<TPixmap>& pixmap, const Ref<Object>& target, const String& urlText, bool isStream,
             const std::string& extension, int32_t quality, const String& name) {
    if (!pixmap) RaiseNullObjectFault();
    detail::ClearLastErrorText();
    const auto fail = [&](const String& cause) {
        detail::SetLastErrorText("cannot save " + name + ": " + cause);
        return 0;
    };
    if (pixmap->width <= 0 || pixmap->height <= 0 || !IsPixelFormat(pixmap->format)) {
        return fail("the pixmap is empty");
    }
    if (extension.empty()) return fail("no file extension names an image format");
    const Ref<TPixmapEncoder> encoder = FindPixmapEncoder(String(extension));
    if (!encoder) return fail("no image encoder for " + detail::Quoted(String("." + extension)));

    String cause;
    if (isStream) {
        Ref<TByteStream> stream = DownCast<TByteStream>(target);
        cause = EncodeInto(*encoder, pixmap, *stream, quality, false);
    } else if (urlText.Find("::") < 0) {
        cause = SaveToFile(*encoder, pixmap, urlText, quality);
    } else {
        Ref<TByteStream> stream = OpenWriteStream(urlText);
        if (!stream) {
            // The opener's reason already names the URL.
            detail::SetLastErrorTextIfNone("cannot save " + name);
            return 0;
        }
        cause = EncodeInto(*encoder, pixmap, *stream, quality, true);
    }
    if (!cause.IsEmpty()) return fail(cause);
    detail::ClearLastErrorText();
    return 1;
}

}  // namespace

TPixmapEncoder::TPixmapEncoder() { pixmapEncoders.Add(this); }

int32_t TPixmapEncoder::Accepts(const String&) { RaiseAbstractMethodFault(); }

int32_t TPixmapEncoder::WritePixmap(const Ref<TPixmap>&, TByteStream&, int32_t) { RaiseAbstractMethodFault(); }

Ref<TPixmapEncoder> FirstPixmapEncoder() { return pixmapEncoders.Head(); }

Ref<TPixmapEncoder> FindPixmapEncoder(const String& extension) {
    const String name(WithoutDot(extension));
    if (name.IsEmpty()) return nullptr;
    for (Ref<TPixmapEncoder> encoder = pixmapEncoders.Head(); encoder; encoder = encoder->next) {
        if (encoder->Accepts(name)) return encoder;
    }
    return nullptr;
}

Ref<TPixmapEncoder> RegisterPixmapEncoder(const String& extensions, PixmapEncodeFunction encode) {
    return New<TFunctionPixmapEncoder>(extensions, std::move(encode));
}

int32_t SavePixmap(const Ref<TPixmap>& pixmap, const String& url, int32_t quality) {
    return Save(pixmap, nullptr, url, false, UrlExtension(url), quality, detail::Quoted(url));
}

int32_t SavePixmapAs(const Ref<TPixmap>& pixmap, const Ref<Object>& target, const String& format,
                     int32_t quality) {
    if (DownCast<TByteStream>(target)) return Save(pixmap, target, String(), true, WithoutDot(format), quality, "the stream");
    if (!target || !DownCast<TStringObject>(target)) {
        if (!pixmap) RaiseNullObjectFault();
        detail::SetLastErrorText("cannot save " + (target ? target->ToString() : String("the null object")) +
                                 ": neither a URL nor a stream");
        return 0;
    }
    const String url = UnboxString(target);
    return Save(pixmap, target, url, false, WithoutDot(format), quality, detail::Quoted(url));
}

int InitPixmapEncoders() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitPixmaps();
    detail::NoteModuleStarted("pixmap encoders");
    New<TBMPPixmapEncoder>();
    New<TJPEGPixmapEncoder>();
    New<TPNGPixmapEncoder>();
    New<TTGAPixmapEncoder>();
    return 0;
}

}  // namespace korva

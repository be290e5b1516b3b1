// Helpers shared by the decoder tests: a scriptable stream, a test protocol
// that serves it, and access to the registered decoders.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <cstring>
#include <string>
#include <vector>

#include "korvagl/korvagl.h"
#include "korvagl/stream/memory_stream.h"

namespace korva::test {

// A stream over bytes in memory whose abilities a test can take away: no
// position, no seeking, a read error at some offset. It records Close.
class ScriptedStream : public TByteStream {
public:
    explicit ScriptedStream(std::string data) : data(std::move(data)) {}

    int32_t Eof() override { return pos >= Size() ? 1 : 0; }
    int32_t Pos() override { return hasPosition ? pos : -1; }
    int32_t Size() override { return static_cast<int32_t>(data.size()); }
    int32_t Seek(int32_t p) override {
        if (!seekable) return -1;
        pos = std::clamp(p, 0, Size());
        return pos;
    }
    int32_t Read(void* buf, int32_t count) override {
        if (failAt >= 0 && pos >= failAt) return 0;  // makes ReadFully raise
        int32_t n = std::min(count, Size() - pos);
        if (failAt >= 0) n = std::min(n, failAt - pos);
        std::memcpy(buf, data.data() + pos, static_cast<size_t>(n));
        pos += n;
        return n;
    }
    int32_t Close() override {
        ++closes;
        return 0;
    }

    std::string data;
    int32_t pos = 0;
    bool hasPosition = true;
    bool seekable = true;
    int32_t failAt = -1;
    int closes = 0;
};

// Serves "scripted::anything" with the stream a test put in `current`.
class ScriptedOpener : public TStreamOpener {
public:
    Ref<TByteStream> CreateStream(const String& protocol, const String&, int32_t, int32_t) override {
        return protocol == String("scripted") ? Ref<TByteStream>(current) : nullptr;
    }
    Ref<ScriptedStream> current;
};

// Registers the opener once per process and hands it `stream`.
inline void ServeScripted(const Ref<ScriptedStream>& stream) {
    static const Ref<ScriptedOpener> opener = New<ScriptedOpener>();
    opener->current = stream;
}

// The registered decoder of class T.
template <typename T>
Ref<T> RegisteredDecoder() {
    for (Ref<TPixmapDecoder> d = FirstPixmapDecoder(); d; d = d->next) {
        if (Ref<T> found = DownCast<T>(d)) return found;
    }
    return nullptr;
}

// A read-only memory stream over a copy of `bytes`, which it keeps.
class BytesStream : public TProxyStream {
public:
    explicit BytesStream(std::string bytes) : bytes_(std::move(bytes)) {
        SetStream(NewMemoryStream(bytes_.data(), static_cast<int32_t>(bytes_.size()), 1, 0));
    }

private:
    std::string bytes_;
};

inline Ref<TByteStream> StreamOf(const std::string& bytes) { return New<BytesStream>(bytes); }

// Loads through the whole registry from a stream over `bytes`.
inline Ref<TPixmap> Load(const std::string& bytes) { return ReadPixmap(Ref<Object>(StreamOf(bytes))); }

// The pixel bytes of every row, without the padding between rows.
inline std::vector<uint8_t> PixelRows(const Ref<TPixmap>& p) {
    std::vector<uint8_t> out;
    for (int32_t y = 0; y < p->height; ++y) {
        const uint8_t* row = p->PixelAddress(0, y);
        out.insert(out.end(), row, row + p->width * PixelBytes[p->format]);
    }
    return out;
}

// Runs `action` with standard error going to a file; returns what it wrote.
inline std::string CapturedStandardError(const std::function<void()>& action) {
    std::fflush(stderr);
    char path[] = "/tmp/korvagl-stderr-XXXXXX";
    const int file = mkstemp(path);
    const int saved = dup(2);
    dup2(file, 2);
    action();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::string text;
    char buffer[256];
    lseek(file, 0, SEEK_SET);
    for (ssize_t n; (n = read(file, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
    close(file);
    unlink(path);
    return text;
}

}  // namespace korva::test

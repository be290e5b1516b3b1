// KorvaGL: saving pixmaps, and the pixmap encoder registry.
//
// SavePixmap writes a pixmap as PNG, JPEG, BMP or TGA, the format chosen by
// the URL's extension ("shot.png", "out/Level.JPG"; letters of any case), to
// any URL that opens for writing. Every pixel format is accepted and
// converted as the file format needs:
//
//   PNG   I8 as 8-bit grey, A8 as grey and alpha (grey 255), the 24-bit
//         formats as RGB, the 32-bit formats as RGBA. Lossless.
//   JPEG  I8 as 8-bit grey, every other format as RGB (alpha dropped).
//   BMP   I8 as 8 bits with a grey palette, the 24-bit formats as 24 bits,
//         A8 and the 32-bit formats as 32 bits with alpha (a 108-byte
//         header with bit-field masks). Lossless.
//   TGA   uncompressed true colour, top row first: 32 bits with alpha for
//         A8 and the 32-bit formats, 24 bits for the others. Lossless.
//
// Reading the file back with ReadPixmap gives pixels whose ReadPixel values
// equal the source's (the loaders give RGB24 or RGBA32, so the format may
// differ), except for JPEG, which is lossy.
//
// `quality`: for JPEG 1 (smallest) to 100 (best), -1 for 90; for PNG the
// zlib compression level 0 (fastest, largest) to 9, -1 for 6; BMP and TGA
// take only -1. Any other value fails.
//
// A file URL (a path without "::") is written to a new file beside the
// target and renamed over it once every byte is written, so a write that
// fails (a full disk, a file size limit) leaves the target as it was and no
// temporary file behind; a new file gets the permissions the process's
// umask gives, a replaced one keeps its own. A target that exists and is not
// a regular file (a pipe, a device) is written in place. Other URLs are
// written through their stream directly.
//
// Failures return 0 and set LastErrorText(): an empty pixmap (a side of 0 or
// PIX_NONE), an unknown or missing extension (`cannot save "x.gif": no image
// encoder for ".gif"`), a quality the format does not take, a size the
// format cannot hold (TGA sides above 65535), a URL that does not open, or a
// write that fails (`cannot save "shot.png": No space left on device`). The
// null object for the pixmap raises TNullObjectFault.
//
// Not thread-safe: register encoders and save from one thread at a time.
#pragma once

#include <cstdint>
#include <functional>

#include "korvagl/app/object.h"
#include "korvagl/app/string.h"
#include "korvagl/pixmap/pixmap.h"
#include "korvagl/stream/stream.h"

namespace korva {

class TPixmapEncoder : public Object {
public:
    // Links the new encoder in at the head of the registry, where it stays:
    // it is asked before every encoder registered earlier.
    TPixmapEncoder();

    // 1 when this encoder writes files with this extension, given in lower
    // case without the dot ("png"); else 0. The base version raises
    // TAbstractMethodFault.
    virtual int32_t Accepts(const String& extension);

    // Writes `pixmap` (never empty) to `stream` from its current position,
    // without closing it, and returns 1. An encoder refuses a pixmap or a
    // quality by raising a TRuntimeError whose text says why ("JPEG quality
    // must be 1 to 100 or -1"); a stream error it raises (TStreamError and its
    // kinds) means the write failed. The base version raises
    // TAbstractMethodFault.
    virtual int32_t WritePixmap(const Ref<TPixmap>& pixmap, TByteStream& stream, int32_t quality);

    // The encoder registered before this one (asked after it), or the null
    // object at the end of the list.
    Ref<TPixmapEncoder> next;
};

// The newest encoder, the head of the registry; the null object when none.
Ref<TPixmapEncoder> FirstPixmapEncoder();

// The first registered encoder (newest first) that accepts `extension`
// (any case, with or without the dot); the null object when none does.
Ref<TPixmapEncoder> FindPixmapEncoder(const String& extension);

// A function that writes `pixmap` to `stream` as TPixmapEncoder::WritePixmap does.
using PixmapEncodeFunction = std::function<void(const Ref<TPixmap>& pixmap, TByteStream& stream, int32_t quality)>;

// Adds a format: an encoder for the extensions in `extensions` (separated by
// spaces, without dots, any case: "ppm pnm") that calls `encode`, asked
// before every encoder registered earlier, so it may also replace one of the
// framework's. Returns the encoder, which stays registered.
Ref<TPixmapEncoder> RegisterPixmapEncoder(const String& extensions, PixmapEncodeFunction encode);

// Saves `pixmap` to `url` in the format its extension names (see above).
// Returns 1, or 0 with LastErrorText() set.
int32_t SavePixmap(const Ref<TPixmap>& pixmap, const String& url, int32_t quality = -1);

// Saves `pixmap` in the format named by `format` (an extension such as
// "png" or ".jpg") to `target`: a boxed URL, saved as SavePixmap saves it,
// or a stream object, written from where it stands and left open (so a
// picture can go into a memory block or a socket). Returns 1, or 0 with
// LastErrorText() set.
int32_t SavePixmapAs(const Ref<TPixmap>& pixmap, const Ref<Object>& target, const String& format,
                     int32_t quality = -1);

// The framework's encoders, registered by the module "pixmap encoders".
class TPNGPixmapEncoder : public TPixmapEncoder {
public:
    int32_t Accepts(const String& extension) override;
    int32_t WritePixmap(const Ref<TPixmap>& pixmap, TByteStream& stream, int32_t quality) override;
};

class TJPEGPixmapEncoder : public TPixmapEncoder {
public:
    int32_t Accepts(const String& extension) override;  // "jpg", "jpeg", "jpe", "jfif"
    int32_t WritePixmap(const Ref<TPixmap>& pixmap, TByteStream& stream, int32_t quality) override;
};

class TBMPPixmapEncoder : public TPixmapEncoder {
public:
    int32_t Accepts(const String& extension) override;  // "bmp", "dib"
    int32_t WritePixmap(const Ref<TPixmap>& pixmap, TByteStream& stream, int32_t quality) override;
};

class TTGAPixmapEncoder : public TPixmapEncoder {
public:
    int32_t Accepts(const String& extension) override;  // "tga", "targa"
    int32_t WritePixmap(const Ref<TPixmap>& pixmap, TByteStream& stream, int32_t quality) override;
};

// The module "pixmap encoders": registers the BMP, JPEG, PNG and TGA
// encoders. Run-once; returns 0.
int InitPixmapEncoders();

}  // namespace korva

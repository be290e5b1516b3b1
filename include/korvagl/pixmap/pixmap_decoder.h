// KorvaGL: the pixmap decoder registry and ReadPixmap.
//
// Decoders are chosen by content, never by file name: ReadPixmap hands the
// stream to each registered decoder in turn, newest first, rewound to where
// the data starts, and the first one that returns a pixmap wins. The
// framework's decoders register at start-up in the order BMP, JPEG, PNG, TGA,
// so they are tried TGA, PNG, JPEG, BMP.
//
// Not thread-safe: register decoders and load from the main thread.
#pragma once

#include "korvagl/app/object.h"
#include "korvagl/app/string.h"
#include "korvagl/pixmap/pixmap.h"
#include "korvagl/stream/stream.h"

namespace korva {

class TPixmapDecoder : public Object {
public:
    // Links the new decoder in at the head of the registry, where it stays.
    TPixmapDecoder();

    // Decodes the data at the stream's current position. Returns the pixmap,
    // or the null object when the data is not in this decoder's format. May
    // raise the stream's errors (TStreamError and its kinds), which
    // ReadPixmap takes as "not my format". The base version raises
    // TAbstractMethodFault.
    virtual Ref<TPixmap> ReadPixmap(const Ref<TByteStream>& stream);

    // The decoder registered before this one (tried after it), or the null
    // object at the end of the list.
    Ref<TPixmapDecoder> next;
};

// The newest decoder, the head of the registry; the null object when none.
Ref<TPixmapDecoder> FirstPixmapDecoder();

// Loads a pixmap from a URL (a path, "protocol::path", or a boxed URL) or
// from a stream object, which is read from its current position and left
// open. Returns the null object when the URL does not open, the stream cannot
// report its position, or no decoder recognises the data. Decoders' stream
// errors are absorbed; any other fault passes on to the caller. The stream
// this opens is closed on every path, faults included.
Ref<TPixmap> ReadPixmap(const String& url);
Ref<TPixmap> ReadPixmap(const Ref<Object>& url);

}  // namespace korva

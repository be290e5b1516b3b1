// KorvaGL: entries of zip archives as streams.
//
// "zip::" + archive URL + "|" + entry name opens one entry for reading:
//   zip::assets.zip|images/ship.png
//   zip::incbin::data|levels/1.lua
//   zip::http::127.0.0.1:8080/pack.zip|sounds/hit.wav
// The text is split at its last "|", so an archive URL may hold "|" itself
// and an entry name may not. The archive is any URL: one with a position (a
// file, embedded data, memory) is read where it lies; one without (HTTP,
// HTTPS, TCP) is first read into memory under the whole-stream load limit
// (OpenForLoading in stream.h). Zip archives within archives nest the same
// way ("zip::zip::outer.zip|inner.zip|x.png").
//
// Entries: stored ones are read straight from the archive, with a position
// and seeking; deflated ones (and any other method libzip reads, such as
// bzip2 or xz where it was built with them) are inflated whole into memory
// when opened. Every entry's CRC-32 is checked: where it does not match, the
// stream ends with a failure (Eof -1), so LoadBytes and the loaders fail
// rather than hand over the bytes. Encrypted entries, and writing, are not
// supported (the null object).
//
// Names: an entry is asked for by its name in the archive, in which every
// "\" counts as "/", "." components and leading "/" are dropped, and an
// empty component is dropped; the same happens to the name asked for. A name
// with a ".." component names nothing (it is refused, never resolved), so no
// name leads outside the archive, whatever the archive holds. Where two
// entries differ only in this way, the first in the central directory is the
// one; an archive holding the very same name twice is refused.
// Folders: "zip::a.zip|maps" (or "maps/") is a folder when some entry's name
// starts with "maps/"; "zip::a.zip|" is the archive's top. FileKind,
// FileByteSize and ListDirectory (file_system.h) answer for these URLs.
//
// Hostile archives: a central directory that does not match the local
// headers (as where two entries point at the same data), an entry said to
// lie past the end of the archive, and sizes that lie are refused with a
// reason. Entries whose data overlap in other ways are each read under the
// same limits as any entry. An entry is inflated only into the room its
// declared size gives, and a
// declared size above the whole-stream load limit (SetNetworkLimits,
// tcp_stream.h; 256 MiB by default) is refused before anything is read, so a
// deflate bomb stops at once. Reasons read like
//   "zip::a.zip|x.png": no entry "x.png" in the archive
//   "zip::a.zip|big.bin": entry of 1073741824 bytes is above the load limit of 268435456 bytes
//   "zip::a.zip|bomb.bin": entry inflates to more than its declared 1024 bytes
//   "zip::a.zip|x.bin": CRC-32 mismatch
//   "zip::a.zip|x": not a zip archive (Not a zip archive)
// Each open reads the archive's central directory afresh (an entry stream
// owns what it reads from, so entries can be read from different threads).
#pragma once

#include <cstdint>

#include "korvagl/stream/stream.h"

namespace korva {

// Opens "zip" URLs (see above).
class TZipStreamOpener : public TStreamOpener {
public:
    Ref<TByteStream> CreateStream(const String& protocol, const String& path, int32_t readable,
                                  int32_t writeable) override;
};

// Module initialiser: registers the "zip" opener.
int InitZipStreams();

}  // namespace korva

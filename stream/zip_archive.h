// What the file-system calls ask of zip archives ("zip::archive|folder"),
// private to the stream subsystem.
#pragma once

#include <cstdint>

#include "korvagl/app/object.h"
#include "korvagl/app/string.h"

namespace korva::detail {

// True for text starting with "zip::".
bool NamesZipEntry(const String& url);
// FILE_KIND_FILE for an entry, FILE_KIND_DIRECTORY for a folder (or the
// archive's top), FILE_KIND_NONE otherwise.
int32_t ZipEntryKind(const String& url);
// The entry's size, -1 when it is not an entry.
int32_t ZipEntrySize(const String& url);
// The names one level below a folder, files and folders, in the order of the
// central directory; "." and ".." first unless `skipDots`. Empty when the
// URL is not a folder of a readable archive.
StringArray ListZipFolder(const String& url, int32_t skipDots);

}  // namespace korva::detail

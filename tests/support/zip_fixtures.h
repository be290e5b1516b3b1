// Zip archives put together byte by byte, so that tests can also make the
// hostile ones no archiver writes (lying sizes, shared data, odd names).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korva::test {

struct ZipEntry {
    std::string name;
    std::string data;
    bool deflate = false;
    int64_t declaredSize = -1;  // the size both headers claim; -1: the true one
    bool badCrc = false;        // a CRC-32 that does not match the data
    int sharesDataOf = -1;      // the central record points at that entry's local header
};

// Raw deflate data (no zlib header) of `data`, at zlib's level 6.
std::string Deflate(const std::string& data);
// A zip archive of `entries`, in order, with its central directory.
std::string ZipArchive(const std::vector<ZipEntry>& entries);

}  // namespace korva::test

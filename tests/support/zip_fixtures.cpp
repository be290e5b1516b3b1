#include "support/zip_fixtures.h"

#include <zlib.h>

#include <stdexcept>

namespace korva::test {
namespace {

std::string U16(uint32_t v) { return {char(v & 0xFF), char((v >> 8) & 0xFF)}; }
std::string U32(uint32_t v) { return U16(v & 0xFFFF) + U16(v >> 16); }

}  // namespace

std::string Deflate(const std::string& data) {
    z_stream z{};
    if (deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::runtime_error("deflate");
    std::string out(deflateBound(&z, data.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

std::string ZipArchive(const std::vector<ZipEntry>& entries) {
    std::string local, central;
    std::vector<uint32_t> offsets;
    for (const ZipEntry& e : entries) {
        const std::string packed = e.deflate ? Deflate(e.data) : e.data;
        uint32_t crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(e.data.data()),
                                                   static_cast<uInt>(e.data.size())));
        if (e.badCrc) crc ^= 1;
        const auto size = static_cast<uint32_t>(e.declaredSize >= 0 ? e.declaredSize : int64_t(e.data.size()));
        const std::string fields = U16(20) + U16(0) + U16(e.deflate ? 8 : 0) + U16(0) + U16(0x21) + U32(crc) +
                                   U32(static_cast<uint32_t>(packed.size())) + U32(size) +
                                   U16(static_cast<uint32_t>(e.name.size())) + U16(0);
        offsets.push_back(static_cast<uint32_t>(local.size()));
        local += U32(0x04034b50) + fields + e.name + packed;
        const uint32_t at = e.sharesDataOf >= 0 ? offsets[static_cast<size_t>(e.sharesDataOf)] : offsets.back();
        central += U32(0x02014b50) + U16(20) + fields + U16(0) + U16(0) + U16(0) + U32(0) + U32(at) + e.name;
    }
    const auto count = static_cast<uint32_t>(entries.size());
    return local + central + U32(0x06054b50) + U16(0) + U16(0) + U16(count) + U16(count) +
           U32(static_cast<uint32_t>(central.size())) + U32(static_cast<uint32_t>(local.size())) + U16(0);
}

}  // namespace korva::test

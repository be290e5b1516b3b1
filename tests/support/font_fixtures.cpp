// A TrueType font put together table by table (big-endian, as the format is).
#include "support/font_fixtures.h"

#include <cstdint>
#include <map>

namespace korva::test {
namespace {

struct Bytes {
    std::string data;
    Bytes& U16(uint32_t v) {
        data += char(v >> 8);
        data += char(v);
        return *this;
    }
    Bytes& U32(uint32_t v) { return U16(v >> 16).U16(v & 0xFFFF); }
    Bytes& I16(int32_t v) { return U16(uint32_t(v) & 0xFFFF); }
};

uint32_t Checksum(std::string data) {
    data.append(-data.size() & 3, '\0');
    uint32_t sum = 0;
    for (size_t i = 0; i < data.size(); i += 4) {
        sum += uint32_t(uint8_t(data[i])) << 24 | uint32_t(uint8_t(data[i + 1])) << 16 |
               uint32_t(uint8_t(data[i + 2])) << 8 | uint8_t(data[i + 3]);
    }
    return sum;
}

}  // namespace

std::string EveryCharacterFont() {
    // Glyph 0 is empty; glyph 1 one contour of four on-curve points.
    Bytes block;
    block.I16(1).I16(50).I16(-100).I16(550).I16(700).U16(3).U16(0);
    for (int i = 0; i < 4; ++i) block.data += char(1);
    block.I16(50).I16(0).I16(500).I16(0);     // x: 50, 50, 550, 550
    block.I16(-100).I16(800).I16(0).I16(-800);  // y: -100, 700, 700, -100

    std::map<std::string, std::string> tables;
    Bytes head;
    head.U32(0x00010000).U32(0x00010000).U32(0).U32(0x5F0F3CF5).U16(0x000B).U16(1000);
    head.U32(0).U32(0).U32(0).U32(0);  // created, modified
    head.I16(50).I16(-100).I16(550).I16(700).U16(0).U16(8).I16(2).I16(1).I16(0);
    tables["head"] = head.data;
    Bytes hhea;
    hhea.U32(0x00010000).I16(800).I16(-200).I16(0).U16(600).I16(50).I16(50).I16(550).I16(1).I16(0).I16(0);
    hhea.I16(0).I16(0).I16(0).I16(0).I16(0).U16(2);
    tables["hhea"] = hhea.data;
    Bytes maxp;
    maxp.U32(0x00010000).U16(2).U16(4).U16(1).U16(0).U16(0).U16(2);
    for (int i = 0; i < 8; ++i) maxp.U16(0);
    tables["maxp"] = maxp.data;
    tables["hmtx"] = Bytes().U16(600).I16(0).U16(600).I16(50).data;
    tables["loca"] = Bytes().U32(0).U32(0).U32(uint32_t(block.data.size())).data;
    tables["glyf"] = block.data;
    tables["post"] = Bytes().U32(0x00030000).U32(0).I16(-100).I16(50).U32(0).U32(0).U32(0).U32(0).U32(0).data;
    // Format 13: every code of the group maps to glyph 1.
    Bytes cmap;
    cmap.U16(0).U16(1).U16(3).U16(10).U32(12);
    cmap.U16(13).U16(0).U32(28).U32(0).U32(1).U32(32).U32(0x10FFFF).U32(1);
    tables["cmap"] = cmap.data;

    Bytes out;
    out.U32(0x00010000).U16(uint32_t(tables.size())).U16(128).U16(3).U16(uint32_t(tables.size()) * 16 - 128);
    uint32_t offset = 12 + 16 * uint32_t(tables.size());
    std::string body;
    for (const auto& [tag, data] : tables) {
        out.data += tag;
        out.U32(Checksum(data)).U32(offset + uint32_t(body.size())).U32(uint32_t(data.size()));
        body += data;
        body.append(-data.size() & 3, '\0');
    }
    return out.data + body;
}

}  // namespace korva::test

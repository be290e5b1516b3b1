// Shaping with HarfBuzz over the bytes of the FreeType face, bidirectional
// order with FriBidi, glyph images by glyph index, and the cache of shaped
// lines.
#include "graphics/text_shaping.h"

#include <fribidi.h>
#include <hb.h>

#include <algorithm>
#include <array>
#include <bitset>
#include <cmath>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>

#include "graphics/freetype_native.h"
#include "graphics/glyph_cache.h"
#include "korvagl/graphics/freetype_font.h"
#include "korvagl/graphics/image.h"

namespace korva::detail {
namespace {

uint32_t nextSerial = 1;

// Combining marks one character carries at most, as in Unicode's
// stream-safe text format.
constexpr size_t kMostMarks = 30;

// Glyph images of 256 glyph indices, under the glyph budget.
struct IndexPage : GlyphPage {
    std::array<Ref<TImageGlyph>, 256> glyphs;
    std::bitset<256> made;

    ~IndexPage() override = default;
    void Release() override {
        glyphs.fill(nullptr);
        made.reset();
    }
};

// What a glyph image holds, counted as the image font counts its own: the
// objects, the pixels and an RGBA texture with mipmaps.
int64_t BytesOf(const TImageGlyph& glyph) {
    int64_t bytes = 1024;
    if (glyph.image) {
        for (const Ref<TPixmap>& pixels : glyph.image->pixmaps) {
            if (pixels) bytes += std::max<int64_t>(pixels->capacity, 0);
        }
        bytes += int64_t{glyph.image->width} * glyph.image->height * 16 / 3;
    }
    return bytes;
}

void DestroyFace(void* face) { hb_face_destroy(static_cast<hb_face_t*>(face)); }

}  // namespace

struct ShapingFont {
    FreeTypeSource* source = nullptr;
    hb_font_t* font = nullptr;
    uint32_t serial = 0;
    std::unordered_map<uint32_t, std::unique_ptr<IndexPage>> pages;
    std::unordered_map<uint64_t, float> kerning;

    ShapingFont() = default;
    ShapingFont(const ShapingFont&) = delete;
    ShapingFont& operator=(const ShapingFont&) = delete;
    ~ShapingFont() {
        if (font) hb_font_destroy(font);
    }

    TImageGlyph* Glyph(uint32_t index) {
        std::unique_ptr<IndexPage>& slotPage = pages[index >> 8];
        if (!slotPage) slotPage = std::make_unique<IndexPage>();
        IndexPage& page = *slotPage;
        const size_t slot = index & 255;
        if (page.made[slot]) {
            page.Used();
            return page.glyphs[slot].Get();
        }
        Ref<TImageGlyph> glyph = New<TImageGlyph>();
        if (Ref<TFreeTypeGlyph> g = RenderFreeTypeGlyphIndex(*source, index)) {
            glyph->advance = g->advance;
            glyph->x = g->x;
            glyph->y = g->y;
            glyph->width = g->width;
            glyph->height = g->height;
            if (g->pixels) glyph->image = TImage::Load(g->pixels, 0, 0, 0, IMAGE_FILTERED);
        }
        page.Keep(BytesOf(*glyph));
        page.glyphs[slot] = glyph;
        page.made[slot] = true;
        return glyph.Get();
    }
};

namespace {

// The shaper's state of a font opened by FreeType, made on first use; null
// for other fonts and for faces HarfBuzz finds no glyphs in (bitmap
// formats such as PCF).
ShapingFont* ShapingFontOf(TImageFont* font) {
    if (!font) return nullptr;
    const Ref<TFreeTypeFont> face = DownCast<TFreeTypeFont>(font->source);
    if (!face || !face->source || !face->source->shared) return nullptr;
    FreeTypeSource& source = *face->source;
    if (source.shaping) {
        auto* known = static_cast<ShapingFont*>(source.shaping.get());
        return known->font ? known : nullptr;
    }
    auto state = std::make_shared<ShapingFont>();
    state->source = &source;
    std::shared_ptr<void>& slot = ShaperFace(*source.shared);
    if (!slot) {
        const std::vector<unsigned char>& bytes = FaceBytes(*source.shared);
        hb_blob_t* blob = hb_blob_create(reinterpret_cast<const char*>(bytes.data()),
                                         static_cast<unsigned>(bytes.size()), HB_MEMORY_MODE_READONLY, nullptr,
                                         nullptr);
        hb_face_t* hbFace = hb_face_create(blob, 0);
        hb_blob_destroy(blob);
        slot = std::shared_ptr<void>(hbFace, DestroyFace);
    }
    auto* hbFace = static_cast<hb_face_t*>(slot.get());
    if (hb_face_get_glyph_count(hbFace) > 0 && source.pixelSize > 0) {
        state->font = hb_font_create(hbFace);
        // 26.6 fixed point: positions come out in 64ths of a pixel.
        hb_font_set_scale(state->font, source.pixelSize * 64, source.pixelSize * 64);
        state->serial = nextSerial++;
    }
    source.shaping = state;
    return state->font ? state.get() : nullptr;
}

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit < 0xDC00; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit < 0xE000; }

// A character that belongs with the one before it, in its font.
bool Joins(hb_unicode_funcs_t* unicode, uint32_t c) {
    if (c == 0x200C || c == 0x200D || (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0xE0100 && c <= 0xE01EF)) return true;
    switch (hb_unicode_general_category(unicode, c)) {
        case HB_UNICODE_GENERAL_CATEGORY_NON_SPACING_MARK:
        case HB_UNICODE_GENERAL_CATEGORY_SPACING_MARK:
        case HB_UNICODE_GENERAL_CATEGORY_ENCLOSING_MARK:
            return true;
        default:
            return false;
    }
}

struct Run {
    uint32_t start, end;  // characters
    FriBidiLevel level;
    hb_script_t script;
    uint8_t font;
};

// The shaping buffer, kept between lines.
hb_buffer_t* SharedBuffer() {
    static hb_buffer_t* buffer = hb_buffer_create();
    return buffer;
}

}  // namespace

FontChain ChainOf(TImageFont* font) {
    FontChain chain;
    for (TImageFont* f = font; f && chain.fonts.size() <= static_cast<size_t>(kMaxFallbacks); f = f->fallback.Get()) {
        chain.fonts.push_back(f);
        chain.shaping.push_back(ShapingFontOf(f));
    }
    return chain;
}

bool HasChar(ShapingFont* font, int32_t code) { return font && FreeTypeCharIndex(*font->source, code) != 0; }

int32_t Ascender(const FontChain& chain, size_t index) {
    const ShapingFont* font = chain.shaping[index];
    return font ? font->source->ascender : 0;
}

float PairKerning(ShapingFont* font, int32_t first, int32_t second) {
    if (!font) return 0;
    const uint64_t key = (uint64_t{static_cast<uint32_t>(first)} << 32) | static_cast<uint32_t>(second);
    if (const auto known = font->kerning.find(key); known != font->kerning.end()) return known->second;
    if (font->kerning.size() >= 65536) font->kerning.clear();
    hb_buffer_t* buffer = SharedBuffer();
    hb_buffer_clear_contents(buffer);
    const uint32_t pair[2] = {static_cast<uint32_t>(first), static_cast<uint32_t>(second)};
    hb_buffer_add_utf32(buffer, pair, 2, 0, 2);
    hb_buffer_guess_segment_properties(buffer);
    float kern = 0;
    if (hb_buffer_get_direction(buffer) == HB_DIRECTION_LTR) {
        // Kerning alone: no ligature may merge the pair.
        static const hb_feature_t features[] = {
            {HB_TAG('l', 'i', 'g', 'a'), 0, 0, ~0u}, {HB_TAG('c', 'l', 'i', 'g'), 0, 0, ~0u},
            {HB_TAG('c', 'a', 'l', 't'), 0, 0, ~0u}, {HB_TAG('r', 'l', 'i', 'g'), 0, 0, ~0u}};
        hb_shape(font->font, buffer, features, 4);
        unsigned count = 0;
        const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer, &count);
        const hb_glyph_position_t* position = hb_buffer_get_glyph_positions(buffer, nullptr);
        if (count == 2) {
            const hb_position_t nominal = hb_font_get_glyph_h_advance(font->font, info[0].codepoint);
            kern = static_cast<float>(position[0].x_advance - nominal + position[1].x_offset) / 64.0f;
        }
    }
    font->kerning[key] = kern;
    return kern;
}

LineDirection ParagraphDirection(std::u16string_view text) {
    std::vector<FriBidiChar> chars;
    chars.reserve(std::min<size_t>(text.size(), 4096));
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        }
        const FriBidiCharType type = fribidi_get_bidi_type(c);
        if (FRIBIDI_IS_LETTER(type)) return FRIBIDI_IS_RTL(type) ? LineDirection::kRightToLeft : LineDirection::kLeftToRight;
    }
    return LineDirection::kAuto;
}

ShapedLine ShapeLineUncached(const FontChain& chain, std::u16string_view line, LineDirection direction) {
    ShapedLine shaped;
    if (chain.fonts.empty() || !chain.shaping[0] || line.empty()) return shaped;
    hb_unicode_funcs_t* unicode = hb_unicode_funcs_get_default();

    // Scratch kept between lines, so that shaping allocates little.
    static std::vector<uint32_t> chars, unitOf;
    static std::vector<FriBidiCharType> types;
    static std::vector<FriBidiBracketType> brackets;
    static std::vector<FriBidiLevel> levels;
    static std::vector<uint8_t> fontOf;
    static std::vector<Run> runs;

    // Characters, each with the code unit it starts at; a lone surrogate is
    // U+FFFD.
    chars.clear();
    unitOf.clear();
    size_t marks = 0;  // in a row
    for (size_t i = 0; i < line.size(); ++i) {
        const size_t start = i;
        const char16_t unit = line[i];
        uint32_t c = unit >= 0xD800 && unit < 0xE000 ? 0xFFFD : unit;
        if (IsHighSurrogate(unit) && i + 1 < line.size() && IsLowSurrogate(line[i + 1])) {
            c = 0x10000 + ((unit - 0xD800u) << 10) + (line[i + 1] - 0xDC00u);
            ++i;
        }
        // Marks past the stream-safe limit are left out: the shaper's mark
        // placement would look back over all of them for each one.
        marks = c >= 0x300 && Joins(unicode, c) ? marks + 1 : 0;
        if (marks > kMostMarks) continue;
        unitOf.push_back(static_cast<uint32_t>(start));
        chars.push_back(c);
    }
    const auto count = static_cast<FriBidiStrIndex>(chars.size());

    // Embedding levels of the paragraph.
    types.resize(chars.size());
    brackets.resize(chars.size());
    levels.assign(chars.size(), 0);
    fribidi_get_bidi_types(chars.data(), count, types.data());
    fribidi_get_bracket_types(chars.data(), count, types.data(), brackets.data());
    FriBidiParType base = direction == LineDirection::kLeftToRight   ? FRIBIDI_PAR_LTR
                          : direction == LineDirection::kRightToLeft ? FRIBIDI_PAR_RTL
                                                                     : FRIBIDI_PAR_ON;
    if (fribidi_get_par_embedding_levels_ex(types.data(), brackets.data(), count, &base, levels.data()) == 0) {
        std::fill(levels.begin(), levels.end(), FriBidiLevel{0});
    }

    // The font of each character: the first of the chain that maps it;
    // marks and joiners stay with the character before them.
    fontOf.assign(chars.size(), 0);
    if (chain.fonts.size() > 1) {
        for (size_t i = 0; i < chars.size(); ++i) {
            if (i > 0 && chars[i] >= 0x300 && Joins(unicode, chars[i])) {
                fontOf[i] = fontOf[i - 1];
                continue;
            }
            for (size_t f = 0; f < chain.fonts.size(); ++f) {
                if (HasChar(chain.shaping[f], static_cast<int32_t>(chars[i]))) {
                    fontOf[i] = static_cast<uint8_t>(f);
                    break;
                }
            }
        }
    }

    // Runs of one level, one font and one script; characters common to
    // scripts (spaces, digits, punctuation) and marks join the run they are
    // in, which takes the script of its first character that has one.
    runs.clear();
    for (uint32_t i = 0; i < chars.size(); ++i) {
        hb_script_t script = chars[i] < 0x41 ? HB_SCRIPT_COMMON : hb_unicode_script(unicode, chars[i]);
        if (script == HB_SCRIPT_INHERITED || script == HB_SCRIPT_UNKNOWN) script = HB_SCRIPT_COMMON;
        Run* run = runs.empty() ? nullptr : &runs.back();
        if (run && run->level == levels[i] && run->font == fontOf[i] &&
            (script == HB_SCRIPT_COMMON || run->script == HB_SCRIPT_COMMON || run->script == script)) {
            run->end = i + 1;
            if (run->script == HB_SCRIPT_COMMON) run->script = script;
        } else {
            runs.push_back({i, i + 1, levels[i], script, fontOf[i]});
        }
    }

    // Visual order (L2): from the highest level down to the lowest odd one,
    // every stretch of runs at that level or above is reversed.
    FriBidiLevel highest = 0, lowestOdd = FRIBIDI_BIDI_MAX_EXPLICIT_LEVEL + 2;
    for (const Run& run : runs) {
        highest = std::max(highest, run.level);
        if (run.level & 1) lowestOdd = std::min(lowestOdd, run.level);
    }
    for (FriBidiLevel level = highest; level >= lowestOdd && level > 0; --level) {
        for (size_t i = 0; i < runs.size();) {
            if (runs[i].level < level) {
                ++i;
                continue;
            }
            size_t j = i;
            while (j < runs.size() && runs[j].level >= level) ++j;
            std::reverse(runs.begin() + static_cast<std::ptrdiff_t>(i), runs.begin() + static_cast<std::ptrdiff_t>(j));
            i = j;
        }
    }

    hb_buffer_t* buffer = SharedBuffer();
    shaped.glyphs.reserve(chars.size());
    int64_t pen = 0;  // 26.6
    for (const Run& run : runs) {
        ShapingFont* font = chain.shaping[run.font];
        if (!font) continue;
        hb_buffer_clear_contents(buffer);
        hb_buffer_set_direction(buffer, run.level & 1 ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
        if (run.script != HB_SCRIPT_COMMON) hb_buffer_set_script(buffer, run.script);
        hb_buffer_set_flags(buffer, static_cast<hb_buffer_flags_t>((run.start == 0 ? HB_BUFFER_FLAG_BOT : 0) |
                                                                   (run.end == chars.size() ? HB_BUFFER_FLAG_EOT : 0)));
        // The whole line is context, so letters join across runs.
        hb_buffer_add_utf32(buffer, chars.data(), static_cast<int>(chars.size()), run.start,
                            static_cast<int>(run.end - run.start));
        hb_buffer_guess_segment_properties(buffer);
        hb_shape(font->font, buffer, nullptr, 0);
        unsigned n = 0;
        const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer, &n);
        const hb_glyph_position_t* position = hb_buffer_get_glyph_positions(buffer, nullptr);
        for (unsigned g = 0; g < n; ++g) {
            const uint32_t cluster = info[g].cluster < unitOf.size() ? unitOf[info[g].cluster] : 0;
            shaped.glyphs.push_back({info[g].codepoint, cluster, static_cast<float>(pen + position[g].x_offset) / 64.0f,
                                     static_cast<float>(position[g].y_offset) / 64.0f,
                                     static_cast<float>(position[g].x_advance) / 64.0f, run.font});
            pen += position[g].x_advance;
        }
    }
    shaped.width = static_cast<float>(pen) / 64.0f;
    return shaped;
}

namespace {

struct CacheEntry {
    std::u16string key;
    ShapedLine line;
    size_t bytes = 0;
};

struct ShapingCache {
    std::list<CacheEntry> entries;  // most recently used first
    std::unordered_map<std::u16string_view, std::list<CacheEntry>::iterator> index;
    size_t bytes = 0;
    int64_t shaped = 0;
    ShapedLine scratch;  // an uncached line
    std::u16string probe;

    void Trim() {
        while (!entries.empty() && (entries.size() > kShapingCacheEntries || bytes > kShapingCacheBytes)) {
            index.erase(entries.back().key);
            bytes -= entries.back().bytes;
            entries.pop_back();
        }
    }
};

ShapingCache& Cache() {
    static ShapingCache* cache = new ShapingCache;  // used until exit
    return *cache;
}

}  // namespace

const ShapedLine& ShapeLine(const FontChain& chain, std::u16string_view line, LineDirection direction) {
    ShapingCache& cache = Cache();
    if (line.size() > kLongestCachedLine) {
        ++cache.shaped;
        cache.scratch = ShapeLineUncached(chain, line, direction);
        return cache.scratch;
    }
    // The key: direction, the fonts' serials (two units each), the text.
    std::u16string& key = cache.probe;
    key.clear();
    key.push_back(static_cast<char16_t>(direction));
    for (const ShapingFont* font : chain.shaping) {
        const uint32_t serial = font ? font->serial : 0;
        key.push_back(static_cast<char16_t>(serial & 0xFFFF));
        key.push_back(static_cast<char16_t>(serial >> 16));
    }
    key.push_back(u'\n');
    key.append(line);
    if (const auto known = cache.index.find(key); known != cache.index.end()) {
        cache.entries.splice(cache.entries.begin(), cache.entries, known->second);
        return known->second->line;
    }
    ++cache.shaped;
    CacheEntry entry;
    entry.key = key;
    entry.line = ShapeLineUncached(chain, line, direction);
    entry.bytes = sizeof(CacheEntry) + entry.key.size() * sizeof(char16_t) +
                  entry.line.glyphs.capacity() * sizeof(ShapedGlyph) + 64;
    cache.entries.push_front(std::move(entry));
    cache.index.emplace(cache.entries.front().key, cache.entries.begin());
    cache.bytes += cache.entries.front().bytes;
    const ShapedLine* result = &cache.entries.front().line;
    // The newest entry is never the one trimmed unless it alone is too big.
    if (cache.entries.front().bytes > kShapingCacheBytes) {
        cache.scratch = std::move(cache.entries.front().line);
        result = &cache.scratch;
    }
    cache.Trim();
    return *result;
}

void ClearShapingCache() {
    ShapingCache& cache = Cache();
    cache.index.clear();
    cache.entries.clear();
    cache.bytes = 0;
}

size_t ShapingCacheEntries() { return Cache().entries.size(); }
size_t ShapingCacheBytes() { return Cache().bytes; }
int64_t LinesShaped() { return Cache().shaped; }

void DrawShapedLine(const FontChain& chain, const ShapedLine& shaped, std::u16string_view line, float x, float y,
                    float xx, float xy, float yx, float yy, float spaceExtra) {
    float extra = 0;
    for (const ShapedGlyph& g : shaped.glyphs) {
        ShapingFont* font = g.font < chain.shaping.size() ? chain.shaping[g.font] : nullptr;
        if (!font) continue;
        const TImageGlyph* image = font->Glyph(g.glyph);
        const bool space = spaceExtra != 0 && g.cluster < line.size() && line[g.cluster] == u' ';
        if (image && image->image) {
            // Glyph origin in the line's own axes, whole pixels, then along
            // the matrix; a fallback font sits on the same baseline.
            const float u = std::round(g.x + extra) + static_cast<float>(image->x);
            const float v = static_cast<float>(image->y + Ascender(chain, 0) - font->source->ascender) -
                            std::round(g.y);
            const TImage& frame = *image->image;
            frame.Frame(0).Draw(0, 0, static_cast<float>(frame.width), static_cast<float>(frame.height),
                                x + std::trunc(u * xx + v * xy), y + std::trunc(u * yx + v * yy));
        }
        if (space) extra += spaceExtra;
    }
}

}  // namespace korva::detail

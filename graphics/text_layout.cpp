// Shaped text, kerning and fallback fonts in the plain path, and paragraphs
// broken into lines by libunibreak.
#include "korvagl/graphics/text_layout.h"

#include <linebreak.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "graphics/draw_state.h"
#include "graphics/text_blend.h"
#include "graphics/text_shaping.h"
#include "korvagl/graphics/drawing2d.h"
#include "korvagl/graphics/text.h"

namespace korva {
namespace {

int32_t kerning = 0;
float lineSpacing = 1;

int32_t TruncateWidth(float width) {
    if (!(width > -2147483648.0f)) return width != width ? 0 : INT32_MIN;
    if (width >= 2147483648.0f) return INT32_MAX;
    return static_cast<int32_t>(width);
}

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit < 0xDC00; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit < 0xE000; }

// One character of the plain path: its glyph, from which font of the chain,
// and the kerning before it.
struct PlainStep {
    TImageGlyph* glyph;
    size_t font;
    float kern;
    size_t unit;  // where the character starts
};

// Walks the text character by character as TImageFont::NextGlyph does, the
// glyph from the first font of the chain that has the character.
template <class Each>
void WalkPlain(const detail::FontChain& chain, std::u16string_view text, Each&& each) {
    TImageFont& font = *chain.fonts[0];
    int32_t previous = -1;
    size_t previousFont = 0;
    for (size_t n = 0; n < text.size();) {
        const size_t unit = n;
        int32_t code = text[n++];
        const int64_t index = int64_t{code} - font.firstChar;
        const bool inRange = index >= 0 && index < static_cast<int64_t>(font.glyphs.size());
        if (!inRange && IsHighSurrogate(text[unit]) && n < text.size() && IsLowSurrogate(text[n])) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[n++] - 0xDC00);
        }
        // Held, since asking a fallback can give pages back.
        Ref<TImageGlyph> glyph = font.CharGlyph(code);
        size_t from = 0;
        // A font of the range draws its box for what its face lacks; with a
        // fallback, the face is asked.
        if (chain.fonts.size() > 1 && (!glyph || (chain.shaping[0] && !detail::HasChar(chain.shaping[0], code)))) {
            for (size_t f = 1; f < chain.fonts.size(); ++f) {
                if (chain.shaping[f] && !detail::HasChar(chain.shaping[f], code)) continue;
                if (Ref<TImageGlyph> other = chain.fonts[f]->CharGlyph(code)) {
                    glyph = std::move(other);
                    from = f;
                    break;
                }
            }
        }
        if (!glyph) continue;
        float kern = 0;
        if (kerning && previous >= 0 && previousFont == from) {
            kern = detail::PairKerning(chain.shaping[from], previous, code);
        }
        each(PlainStep{glyph.Get(), from, kern, unit});
        previous = code;
        previousFont = from;
    }
}

// The draw state's translation of a point, as DrawText applies it.
void Translate(float x, float y, float& tx, float& ty) {
    const detail::DrawState& s = detail::drawState;
    tx = x + s.originX + s.handleX * s.xx + s.handleY * s.xy;
    ty = y + s.originY + s.handleX * s.yx + s.handleY * s.yy;
}

float LineHeight(TImageFont& font) { return static_cast<float>(font.Height()) * lineSpacing; }

bool IsLineSeparator(char16_t unit) {
    return unit == u'\n' || unit == u'\r' || unit == 0x0B || unit == 0x0C || unit == 0x85 || unit == 0x2028 ||
           unit == 0x2029;
}

// The lines of the text between its line breaks (CR LF counts as one); a
// break at the very end starts no further line.
template <class Each>
void ForEachHardLine(std::u16string_view text, Each&& each) {
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (!IsLineSeparator(text[i])) continue;
        each(start, i);
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) each(start, text.size());
}

bool IsSpace(char16_t unit) {
    return unit == u' ' || unit == u'\t' || unit == 0x1680 || (unit >= 0x2000 && unit <= 0x200B && unit != 0x2007) ||
           unit == 0x205F || unit == 0x3000;
}

// A line of a text box: code units [start, end) of the text, spaces at its
// end left out; `last` for the last line of a paragraph.
struct BoxLine {
    size_t start, end;
    bool last;
};

// The advance of each code unit of a line (0 for units inside a cluster)
// and where clusters start, from the shaper or, for a font it cannot shape,
// the plain glyphs.
void MeasureUnits(const detail::FontChain& chain, std::u16string_view line, std::vector<double>& prefix,
                  std::vector<uint8_t>& starts) {
    std::vector<float> advances(line.size(), 0.0f);
    starts.assign(line.size() + 1, 0);
    starts[line.size()] = 1;
    if (chain.shaping[0]) {
        for (const detail::ShapedGlyph& g : detail::ShapeLine(chain, line).glyphs) {
            if (g.cluster < line.size()) {
                advances[g.cluster] += g.advance;
                starts[g.cluster] = 1;
            }
        }
    } else {
        WalkPlain(chain, line, [&](const PlainStep& step) {
            advances[step.unit] += step.glyph->advance + step.kern;
            starts[step.unit] = 1;
        });
        // Characters the font lacks still start a place to break.
        for (size_t i = 0; i < line.size(); ++i) {
            if (!IsLowSurrogate(line[i]) || i == 0 || !IsHighSurrogate(line[i - 1])) starts[i] = 1;
        }
    }
    prefix.assign(line.size() + 1, 0.0);
    for (size_t i = 0; i < line.size(); ++i) prefix[i + 1] = prefix[i] + advances[i];
}

// Greedy breaking of every paragraph of the text into lines `width` wide.
std::vector<BoxLine> BreakLines(const detail::FontChain& chain, std::u16string_view text, float width) {
    static const int initialised = (init_linebreak(), 0);
    (void)initialised;
    std::vector<BoxLine> lines;
    std::vector<char> breaks;
    std::vector<double> prefix;
    std::vector<uint8_t> starts;
    std::vector<size_t> next;
    std::u16string clean;
    const double room = std::isfinite(width) ? std::max(0.0, double{width}) + 1e-3 : 1e300;
    ForEachHardLine(text, [&](size_t ps, size_t pe) {
        if (ps == pe) {
            lines.push_back({ps, pe, true});
            return;
        }
        const std::u16string_view paragraph = text.substr(ps, pe - ps);
        const size_t n = paragraph.size();
        // libunibreak asserts on a lone surrogate at the end and on U+FFFF
        // (its end-of-text mark), so it gets each as U+FFFD, which keeps
        // every unit in place.
        clean.assign(paragraph);
        for (size_t i = 0; i < n; ++i) {
            if (IsHighSurrogate(clean[i]) && i + 1 < n && IsLowSurrogate(clean[i + 1])) {
                ++i;
            } else if ((clean[i] >= 0xD800 && clean[i] < 0xE000) || clean[i] == 0xFFFF) {
                clean[i] = 0xFFFD;
            }
        }
        breaks.assign(n, LINEBREAK_NOBREAK);
        set_linebreaks_utf16(reinterpret_cast<const utf16_t*>(clean.data()), n, "", breaks.data());
        MeasureUnits(chain, paragraph, prefix, starts);
        // Where a line from `a` to `b` ends once its spaces are left out.
        auto trimmed = [&](size_t a, size_t b) {
            while (b > a && IsSpace(paragraph[b - 1])) --b;
            return b;
        };
        auto widthOf = [&](size_t a, size_t b) { return prefix[trimmed(a, b)] - prefix[a]; };
        // The next break opportunity after each unit i: before unit k + 1
        // for the first k >= i where breaks[k] allows it; the paragraph's
        // end at last.
        next.assign(n + 1, n);
        for (size_t i = n - 1; i-- > 0;) {
            next[i] = breaks[i] == LINEBREAK_ALLOWBREAK || breaks[i] == LINEBREAK_MUSTBREAK ? i + 1 : next[i + 1];
        }
        auto nextOpportunity = [&](size_t a) { return next[a]; };
        size_t a = 0;
        while (a < n) {
            size_t best = 0;
            for (size_t b = nextOpportunity(a); widthOf(a, b) <= room; b = nextOpportunity(b)) {
                best = b;
                if (b == n) break;
            }
            if (best == 0) {
                // The first word alone is too wide: as many whole clusters as
                // fit, at least one.
                const size_t word = nextOpportunity(a);
                size_t c = a + 1;
                while (c < word && !starts[c]) ++c;
                for (size_t k = c + 1; k <= word; ++k) {
                    if (!starts[k]) continue;
                    if (widthOf(a, k) > room) break;
                    c = k;
                }
                best = c;
            }
            lines.push_back({ps + a, ps + trimmed(a, best), best == n});
            a = best;
        }
    });
    return lines;
}

}  // namespace

namespace detail {

bool PlainTextNeedsLayout(const TImageFont& font) { return kerning || font.fallback; }

void DrawPlainText(TImageFont& font, std::u16string_view text, float x, float y, float xx, float xy, float yx,
                   float yy) {
    const FontChain chain = ChainOf(&font);
    const int32_t ascender = Ascender(chain, 0);
    WalkPlain(chain, text, [&](const PlainStep& step) {
        const TImageGlyph& g = *step.glyph;
        x += step.kern * xx;
        y += step.kern * yx;
        const float gx = static_cast<float>(g.x);
        const float gy = static_cast<float>(g.y + (step.font ? ascender - Ascender(chain, step.font) : 0));
        if (g.image) {
            const TImage& image = *g.image;
            image.Frame(0).Draw(0, 0, static_cast<float>(image.width), static_cast<float>(image.height),
                                x + std::trunc(gx * xx + gy * xy), y + std::trunc(gx * yx + gy * yy));
        }
        x += g.advance * xx;
        y += g.advance * yx;
    });
}

int32_t PlainTextWidth(TImageFont& font, std::u16string_view text) {
    const FontChain chain = ChainOf(&font);
    int32_t width = 0;
    WalkPlain(chain, text, [&](const PlainStep& step) {
        width = TruncateWidth(static_cast<float>(width) + step.kern + step.glyph->advance);
    });
    return width;
}

std::vector<PlacedLine> LayOutTextBox(const FontChain& chain, std::u16string_view units, float width,
                                      int32_t align) {
    std::vector<PlacedLine> placed;
    if (chain.fonts.empty()) return placed;
    TImageFont& font = *chain.fonts[0];
    const float height = LineHeight(font);
    const std::vector<BoxLine> lines = BreakLines(chain, units, width);
    placed.reserve(lines.size());
    LineDirection direction = LineDirection::kAuto;
    bool paragraphStart = true;
    for (size_t row = 0; row < lines.size(); ++row) {
        const BoxLine& box = lines[row];
        const std::u16string_view line = units.substr(box.start, box.end - box.start);
        // Every line of a paragraph takes the paragraph's direction.
        if (paragraphStart) {
            size_t end = box.start;
            while (end < units.size() && !IsLineSeparator(units[end])) ++end;
            direction = ParagraphDirection(units.substr(box.start, end - box.start));
        }
        paragraphStart = box.last;
        const float lineWidth = chain.shaping[0] ? ShapeLine(chain, line, direction).width
                                                 : static_cast<float>(PlainTextWidth(font, line));
        const float free = std::isfinite(width) ? width - lineWidth : 0;
        PlacedLine p{box.start, box.end, 0, static_cast<float>(row) * height, 0, direction};
        if (align == TEXT_CENTRE) p.x = std::trunc(free / 2);
        if (align == TEXT_RIGHT) p.x = std::trunc(free);
        if (align == TEXT_JUSTIFY && !box.last && free > 0 && chain.shaping[0]) {
            const auto spaces = std::count(line.begin(), line.end(), u' ');
            if (spaces > 0) p.spaceExtra = free / static_cast<float>(spaces);
        }
        placed.push_back(p);
    }
    return placed;
}

}  // namespace detail

void SetTextKerning(int32_t on) { kerning = on != 0; }
int32_t GetTextKerning() { return kerning; }

int32_t SetFontFallback(const Ref<TImageFont>& font, const Ref<TImageFont>& fallback) {
    if (!font) return 0;
    for (TImageFont* f = fallback.Get(); f; f = f->fallback.Get()) {
        if (f == font.Get()) return 0;
    }
    font->fallback = fallback;
    return 1;
}

Ref<TImageFont> GetFontFallback(const Ref<TImageFont>& font) { return font ? font->fallback : nullptr; }

void SetLineSpacing(float spacing) {
    if (spacing > 0 && std::isfinite(spacing)) lineSpacing = spacing;
}
float GetLineSpacing() { return lineSpacing; }

namespace {

// What every drawing text call starts with: the draw font (nothing is drawn
// without one), the origin on the target, the text blend mode for the
// glyphs and the font's fallback chain.
template <typename Draw>
void DrawWithFont(float x, float y, Draw&& draw) {
    Ref<TImageFont> font = GetDrawFont();
    if (!font) return;
    float tx = 0, ty = 0;
    Translate(x, y, tx, ty);
    const detail::TextBlend blend(detail::drawState.blendMode);
    draw(*font, detail::ChainOf(font.Get()), tx, ty, detail::drawState);
}

}  // namespace

void DrawTextShaped(const String& text, float x, float y) {
    DrawWithFont(x, y, [&](TImageFont& font, const detail::FontChain& chain, float tx, float ty,
                           const detail::DrawState& s) {
        const float height = LineHeight(font);
        const std::u16string_view units = text.View();
        int32_t row = 0;
        ForEachHardLine(units, [&](size_t start, size_t end) {
            const std::u16string_view line = units.substr(start, end - start);
            const float down = static_cast<float>(row++) * height;
            const float lx = tx + down * s.xy, ly = ty + down * s.yy;
            if (chain.shaping[0]) {
                detail::DrawShapedLine(chain, detail::ShapeLine(chain, line), line, lx, ly, s.xx, s.xy, s.yx, s.yy);
            } else {
                detail::DrawPlainText(font, line, lx, ly, s.xx, s.xy, s.yx, s.yy);
            }
        });
    });
}

int32_t ShapedTextWidth(const String& text) {
    Ref<TImageFont> font = GetDrawFont();
    if (!font) return 0;
    const detail::FontChain chain = detail::ChainOf(font.Get());
    const std::u16string_view units = text.View();
    int32_t widest = 0;
    ForEachHardLine(units, [&](size_t start, size_t end) {
        const std::u16string_view line = units.substr(start, end - start);
        const int32_t width = chain.shaping[0] ? TruncateWidth(detail::ShapeLine(chain, line).width)
                                               : detail::PlainTextWidth(*font, line);
        widest = std::max(widest, width);
    });
    return widest;
}

void DrawTextBox(const String& text, float x, float y, float width, int32_t align) {
    DrawWithFont(x, y, [&](TImageFont& font, const detail::FontChain& chain, float tx, float ty,
                           const detail::DrawState& s) {
        const std::u16string_view units = text.View();
        for (const detail::PlacedLine& placed : detail::LayOutTextBox(chain, units, width, align)) {
            const std::u16string_view line = units.substr(placed.start, placed.end - placed.start);
            const float lx = tx + placed.x * s.xx + placed.y * s.xy, ly = ty + placed.x * s.yx + placed.y * s.yy;
            if (chain.shaping[0]) {
                detail::DrawShapedLine(chain, detail::ShapeLine(chain, line, placed.direction), line, lx, ly, s.xx,
                                       s.xy, s.yx, s.yy, placed.spaceExtra);
            } else {
                detail::DrawPlainText(font, line, lx, ly, s.xx, s.xy, s.yx, s.yy);
            }
        }
    });
}

int32_t TextBoxLines(const String& text, float width) {
    Ref<TImageFont> font = GetDrawFont();
    if (!font) return 0;
    const detail::FontChain chain = detail::ChainOf(font.Get());
    return static_cast<int32_t>(std::min<size_t>(BreakLines(chain, text.View(), width).size(), INT32_MAX));
}

int32_t TextBoxHeight(const String& text, float width) {
    Ref<TImageFont> font = GetDrawFont();
    if (!font) return 0;
    return TruncateWidth(std::ceil(static_cast<float>(TextBoxLines(text, width)) * LineHeight(*font)));
}

}  // namespace korva

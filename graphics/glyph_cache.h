// The glyph budget: one process-wide account of the memory that glyphs made
// on first use hold (coverage pixels and textures), across every font, size
// and page. When a page's new glyph takes the account past the budget, the
// pages used least recently are given back (their glyphs dropped, to be made
// again when next met) until it fits. Glyphs made at load (codes 32 to 255 of
// a FreeType font, the built-in font) stay outside it.
//
// A page is anything that holds such glyphs: it derives from GlyphPage,
// reports what it adds with Keep, marks each use with Used, and gives its
// glyphs back in Release. Like the rest of the 2D layer, main thread only.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>

#include "korvagl/app/object.h"

namespace korva::detail {

// The budget unless SetGlyphBudget changes it: 256 MB.
inline constexpr int64_t kGlyphBudget = int64_t{256} << 20;

class GlyphPage {
public:
    GlyphPage() = default;
    GlyphPage(const GlyphPage&) = delete;
    GlyphPage& operator=(const GlyphPage&) = delete;
    virtual ~GlyphPage();

    // The page was just used: it becomes the last to be given back.
    void Used();
    // Adds `bytes` (a glyph about to be stored) to the page's account and
    // marks it used; pages used less recently are released while the account
    // is over the budget, and then this page's older glyphs too (Release is
    // called before Keep returns, so the glyph must be stored afterwards).
    void Keep(int64_t bytes);
    // What the page holds now, bytes.
    int64_t Bytes() const { return bytes_; }

protected:
    // Drops every glyph of the page; the account of the page is then 0.
    virtual void Release() = 0;

private:
    void Link();
    void Unlink();
    void GiveBack();
    friend struct GlyphPages;
    GlyphPage* older_ = nullptr;  // towards the least recently used
    GlyphPage* newer_ = nullptr;
    int64_t bytes_ = 0;
    bool linked_ = false;
};

// A page of 256 character codes of one kind of glyph, made on first use.
template <typename Glyph>
struct CharGlyphPage : GlyphPage {
    std::array<Ref<Glyph>, 256> glyphs;
    std::bitset<256> asked;  // a character the face lacks stays null

    void Release() override {
        glyphs.fill(nullptr);
        asked.reset();
    }
};

// All pages' bytes together, and the budget (bytes; SetGlyphBudget gives
// pages back at once if they exceed a lower one; negative counts as 0).
int64_t GlyphBytes();
int64_t GlyphBudget();
void SetGlyphBudget(int64_t bytes);
// How many pages have been given back so far.
int64_t GlyphPagesReleased();

}  // namespace korva::detail

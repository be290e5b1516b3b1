// The glyph budget: an intrusive list of pages from least to most recently
// used, and one account of their bytes.
#include "graphics/glyph_cache.h"

#include <algorithm>

namespace korva::detail {

// Plain data with no destructor, so that pages freed late in program exit
// still find it.
struct GlyphPages {
    GlyphPage* oldest = nullptr;
    GlyphPage* newest = nullptr;
    int64_t bytes = 0;
    int64_t budget = kGlyphBudget;
    int64_t released = 0;

    // Gives back the least recently used pages other than `keep` while the
    // account is over the budget.
    void Trim(const GlyphPage* keep) {
        for (GlyphPage* page = oldest; page && bytes > budget;) {
            GlyphPage* next = page->newer_;
            if (page != keep && page->bytes_ > 0) page->GiveBack();
            page = next;
        }
    }
};

namespace {
constinit GlyphPages pages;
}  // namespace

GlyphPage::~GlyphPage() {
    pages.bytes -= bytes_;
    Unlink();
}

void GlyphPage::Link() {
    older_ = pages.newest;
    newer_ = nullptr;
    (pages.newest ? pages.newest->newer_ : pages.oldest) = this;
    pages.newest = this;
    linked_ = true;
}

void GlyphPage::Unlink() {
    if (!linked_) return;
    (older_ ? older_->newer_ : pages.oldest) = newer_;
    (newer_ ? newer_->older_ : pages.newest) = older_;
    older_ = newer_ = nullptr;
    linked_ = false;
}

void GlyphPage::Used() {
    if (pages.newest == this) return;
    Unlink();
    Link();
}

void GlyphPage::GiveBack() {
    Release();
    pages.bytes -= bytes_;
    bytes_ = 0;
    ++pages.released;
}

void GlyphPage::Keep(int64_t bytes) {
    Used();
    bytes = std::max<int64_t>(bytes, 0);
    // Counted in the whole first, so that room is made for it.
    pages.bytes += bytes;
    pages.Trim(this);
    // Alone over the budget: the page starts afresh with the new glyph.
    if (pages.bytes > pages.budget && bytes_ > 0) GiveBack();
    bytes_ += bytes;
}

int64_t GlyphBytes() { return pages.bytes; }
int64_t GlyphBudget() { return pages.budget; }
int64_t GlyphPagesReleased() { return pages.released; }

void SetGlyphBudget(int64_t bytes) {
    pages.budget = std::max<int64_t>(bytes, 0);
    pages.Trim(nullptr);
}

}  // namespace korva::detail

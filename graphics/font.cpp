// Fonts: the abstract glyph, face and loader, and the loader registry.
#include "korvagl/graphics/font.h"

#include "korvagl/app/last_error.h"
#include "korvagl/app/modules.h"
#include "korvagl/app/plugin_list.h"
#include "korvagl/stream/stream.h"

namespace korva {
namespace {
constinit TPluginList<TFontDecoder> fontDecoders;

// Why no decoder took `url`, when none said: the file cannot be opened (the
// opener tells why), or it opens but holds no font a decoder knows.
void NoteNoFont(const Ref<Object>& url) {
    if (!LastErrorText().IsEmpty()) return;  // a decoder said more
    const Ref<TStringObject> path = DownCast<TStringObject>(url);
    if (!path) {
        detail::SetLastErrorText("stream: no font decoder accepts this data");
        return;
    }
    const Ref<TByteStream> stream = OpenForLoading(path->text);
    if (!stream) return;  // the opener said why
    stream->Close();
    detail::SetLastErrorText(detail::Quoted(path->text) + ": no font decoder accepts this data");
}
}  // namespace

Ref<TPixmap> TFontGlyph::Pixels() { RaiseAbstractMethodFault(); }
float TFontGlyph::Advance() { RaiseAbstractMethodFault(); }
void TFontGlyph::GetRect(int32_t&, int32_t&, int32_t&, int32_t&) { RaiseAbstractMethodFault(); }

int32_t TFontFace::Style() { RaiseAbstractMethodFault(); }
int32_t TFontFace::Height() { RaiseAbstractMethodFault(); }
int32_t TFontFace::FirstChar() { RaiseAbstractMethodFault(); }
int32_t TFontFace::CountGlyphs() { RaiseAbstractMethodFault(); }
Ref<TFontGlyph> TFontFace::LoadGlyph(int32_t) { RaiseAbstractMethodFault(); }

Ref<TFontGlyph> TFontFace::LoadCharGlyph(int32_t code) {
    const int64_t index = int64_t{code} - FirstChar();
    if (index < 0 || index >= CountGlyphs()) return nullptr;
    return LoadGlyph(static_cast<int32_t>(index));
}

Ref<TFontFace> TFontDecoder::Load(const Ref<Object>&, int32_t, int32_t) { RaiseAbstractMethodFault(); }

void RegisterFontDecoder(const Ref<TFontDecoder>& loader) { fontDecoders.Add(loader); }

Ref<TFontDecoder> FirstFontDecoder() { return fontDecoders.Head(); }

Ref<TFontFace> OpenFont(const Ref<Object>& url, int32_t size, int32_t style) {
    detail::ClearLastErrorText();
    for (Ref<TFontDecoder> loader = fontDecoders.Head(); loader; loader = loader->next) {
        try {
            Ref<TFontFace> face = loader->Load(url, size, style);
            if (face) {
                detail::ClearLastErrorText();
                return face;
            }
        } catch (const TStreamError&) {
            // Not this loader's format; the next one tries.
        }
    }
    NoteNoFont(url);
    return nullptr;
}

Ref<TFontFace> OpenFont(const String& url, int32_t size, int32_t style) {
    return OpenFont(BoxString(url), size, style);
}

int InitFonts() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitPixmaps();
    detail::NoteModuleStarted("fonts");
    return 0;
}

}  // namespace korva

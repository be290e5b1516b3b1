// The PNG decoder: the stream side of the PNG native layer.
#include "korvagl/pixmap/png_decoder.h"

#include "korvagl/app/modules.h"
#include "pixmap/decoder_io.h"
#include "pixmap/png_native.h"

namespace korva {
namespace {

size_t ReadFromStream(void* buffer, size_t count, void* handle) {
    return static_cast<detail::StreamSource*>(handle)->Read(buffer, count);
}

}  // namespace

Ref<TPixmap> TPNGPixmapDecoder::ReadPixmap(const Ref<TByteStream>& stream) {
    detail::StreamSource source(*stream);
    Ref<TPixmap> pixmap = DecodePNG(&source, ReadFromStream);
    source.RethrowFault();
    return pixmap;
}

int InitPNGLoader() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitPixmaps();
    detail::NoteModuleStarted("PNG loader");
    New<TPNGPixmapDecoder>();
    return 0;
}

}  // namespace korva

// The PNG decoder: the stream side of the PNG native layer.
#include "korvagl/pixmap/png_decoder.h"

#include <string>

#include "korvagl/app/last_error.h"
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
    std::string failure;
    Ref<TPixmap> pixmap = DecodePNG(&source, ReadFromStream, &failure);
    source.RethrowFault();
    if (!pixmap && !failure.empty()) detail::SetDecoderFailure(String(failure));
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

// The JPEG decoder: the stream side of the JPEG native layer.
#include "korvagl/pixmap/jpeg_decoder.h"

#include <cstdlib>
#include <memory>

#include "korvagl/app/modules.h"
#include "pixmap/decoder_io.h"
#include "pixmap/jpeg_native.h"

namespace korva {
namespace {

// The read callback: whole items of `size` bytes, fewer at the end.
size_t ReadFromStream(void* buffer, size_t size, size_t count, void* handle) {
    if (size == 0) return 0;
    return static_cast<detail::StreamSource*>(handle)->Read(buffer, size * count) / size;
}

struct FreeBlock {
    void operator()(uint8_t* block) const { std::free(block); }
};

}  // namespace

Ref<TPixmap> TJPEGPixmapDecoder::ReadPixmap(const Ref<TByteStream>& stream) {
    detail::StreamSource source(*stream);
    int32_t width = 0, height = 0, components = 0;
    uint8_t* pixels = nullptr;
    const int result = DecodeJPEG(&source, ReadFromStream, &width, &height, &components, &pixels);
    std::unique_ptr<uint8_t, FreeBlock> block(pixels);
    source.RethrowFault();
    if (result != 0 || width == 0 || components != 3) return nullptr;

    Ref<TPixmap> pixmap = NewPixmap(width, height, PIX_RGB24, 4);
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    for (int32_t y = 0; y < height; ++y) {
        CopyPixelRun(block.get() + y * rowBytes, pixmap->PixelAddress(0, y), PIX_RGB24, width);
    }
    return pixmap;
}

int InitJPEGLoader() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitPixmaps();
    detail::NoteModuleStarted("JPEG loader");
    New<TJPEGPixmapDecoder>();
    return 0;
}

}  // namespace korva

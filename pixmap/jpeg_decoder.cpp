// The JPEG decoder: the stream side of the JPEG native layer.
#include "korvagl/pixmap/jpeg_decoder.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "korvagl/app/last_error.h"
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
    std::string failure;
    const int result = DecodeJPEG(&source, ReadFromStream, &width, &height, &components, &pixels, &failure);
    std::unique_ptr<uint8_t, FreeBlock> block(pixels);
    source.RethrowFault();
    if (result != 0 || width == 0 || components != 3) {
        if (!failure.empty()) detail::SetDecoderFailure(String(failure));
        return nullptr;
    }

    // The decoded block becomes the pixmap's memory: rows that are not a
    // multiple of 4 bytes long are spread out to the pixmap's pitch in place,
    // from the last row up, so that no row is overwritten before it moves.
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    const size_t pitch = (rowBytes + 3) / 4 * 4;
    if (pitch != rowBytes) {
        auto* grown = static_cast<uint8_t*>(std::realloc(block.get(), pitch * height));
        if (!grown) throw std::bad_alloc();
        block.release();
        block.reset(grown);
        for (int32_t y = height - 1; y > 0; --y) std::memmove(grown + y * pitch, grown + y * rowBytes, rowBytes);
    }
    return detail::AdoptPixmapMemory(block.release(), width, height, static_cast<int32_t>(pitch), PIX_RGB24,
                                     static_cast<int32_t>(pitch * height));
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

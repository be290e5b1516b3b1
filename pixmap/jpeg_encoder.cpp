// The JPEG encoder over libjpeg-turbo, with the settings of its command-line
// compressor: default tables scaled by quality, 4:2:0 chroma subsampling,
// the accurate integer DCT, Huffman tables not optimised.
//
// libjpeg reports fatal errors by calling error_exit, which must not return;
// ours longjmps to the recovery point in Compress. Nothing between that point
// and the jump owns a C++ object. Pixels go in straight from the pixmap in
// every layout libjpeg-turbo reads (grey, RGB, BGR, and the 32-bit ones with
// the alpha byte skipped); A8 is converted a row at a time.
#include <setjmp.h>
#include <stdio.h>

#include <cstdio>
#include <memory>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

#include "korvagl/pixmap/pixmap_encoder.h"
#include "pixmap/encoder_io.h"

namespace korva {
namespace {

constexpr int kDefaultQuality = 90;
constexpr size_t kOutputBufferSize = 1 << 16;

struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf recovery;
    char reason[JMSG_LENGTH_MAX];
};

struct Destination {
    jpeg_destination_mgr pub;
    detail::StreamSink* sink;
    JOCTET buffer[kOutputBufferSize];
};

void ErrorExit(j_common_ptr cinfo) {
    auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
    cinfo->err->format_message(cinfo, errors->reason);
    longjmp(errors->recovery, 1);
}

void EmitMessage(j_common_ptr, int) {}
void OutputMessage(j_common_ptr) {}

Destination* DestinationOf(j_compress_ptr cinfo) { return reinterpret_cast<Destination*>(cinfo->dest); }

void InitDestination(j_compress_ptr cinfo) {
    Destination* d = DestinationOf(cinfo);
    d->pub.next_output_byte = d->buffer;
    d->pub.free_in_buffer = kOutputBufferSize;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
    Destination* d = DestinationOf(cinfo);
    if (!d->sink->Write(d->buffer, kOutputBufferSize)) ERREXIT(cinfo, JERR_FILE_WRITE);
    InitDestination(cinfo);
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
    Destination* d = DestinationOf(cinfo);
    const size_t count = kOutputBufferSize - d->pub.free_in_buffer;
    if (count > 0 && !d->sink->Write(d->buffer, count)) ERREXIT(cinfo, JERR_FILE_WRITE);
}

// libjpeg's reading of each pixmap format, as colour space and components.
void InputLayout(int32_t format, J_COLOR_SPACE& space, int& components) {
    switch (format) {
        case PIX_I8: space = JCS_GRAYSCALE, components = 1; break;
        case PIX_BGR24: space = JCS_EXT_BGR, components = 3; break;
        case PIX_BGRA32: space = JCS_EXT_BGRX, components = 4; break;
        case PIX_RGBA32: space = JCS_EXT_RGBX, components = 4; break;
        default: space = JCS_RGB, components = 3; break;  // RGB24, and A8 converted to it
    }
}

// False with errors.reason set when libjpeg failed.
bool Compress(jpeg_compress_struct& cinfo, ErrorManager& errors, Destination& destination, const TPixmap& pixmap,
              int quality, uint8_t* convertedRow) {
    if (setjmp(errors.recovery)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    cinfo.dest = &destination.pub;
    cinfo.image_width = static_cast<JDIMENSION>(pixmap.width);
    cinfo.image_height = static_cast<JDIMENSION>(pixmap.height);
    InputLayout(pixmap.format, cinfo.in_color_space, cinfo.input_components);
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = pixmap.PixelAddress(0, static_cast<int32_t>(cinfo.next_scanline));
        if (pixmap.format == PIX_A8) {
            ConvertPixelRun(row, PIX_A8, convertedRow, PIX_RGB24, pixmap.width);
            row = convertedRow;
        }
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

}  // namespace

int32_t TJPEGPixmapEncoder::Accepts(const String& extension) {
    for (const char* name : {"jpg", "jpeg", "jpe", "jfif"}) {
        if (extension == String(name)) return 1;
    }
    return 0;
}

int32_t TJPEGPixmapEncoder::WritePixmap(const Ref<TPixmap>& pixmap, TByteStream& stream, int32_t quality) {
    if (quality != -1 && (quality < 1 || quality > 100)) RaiseRuntimeError("JPEG quality must be 1 to 100, or -1");
    if (pixmap->width > JPEG_MAX_DIMENSION || pixmap->height > JPEG_MAX_DIMENSION) {
        RaiseRuntimeError("JPEG holds at most " + IntToString(JPEG_MAX_DIMENSION) + " pixels each way");
    }
    detail::StreamSink sink(stream);
    std::vector<uint8_t> convertedRow(pixmap->format == PIX_A8 ? static_cast<size_t>(pixmap->width) * 3 : 0);
    // Large and handed to C code by address: on the heap, in plain structs.
    auto destination = std::make_unique<Destination>();
    destination->pub.init_destination = InitDestination;
    destination->pub.empty_output_buffer = EmptyOutputBuffer;
    destination->pub.term_destination = TermDestination;
    destination->sink = &sink;
    jpeg_compress_struct cinfo{};
    ErrorManager errors{};
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = ErrorExit;
    errors.pub.emit_message = EmitMessage;
    errors.pub.output_message = OutputMessage;
    const bool done = Compress(cinfo, errors, *destination, *pixmap, quality == -1 ? kDefaultQuality : quality,
                               convertedRow.data());
    sink.RethrowFault();
    if (!done) RaiseRuntimeError(String("JPEG encoding failed: ") + String(errors.reason));
    return 1;
}

}  // namespace korva

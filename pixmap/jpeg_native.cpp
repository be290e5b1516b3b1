// The JPEG native layer over libjpeg (version 6 interface): an error manager
// that keeps the message and jumps back instead of ending the process and
// prints nothing, a data source that pulls bytes through the caller's read
// callback, and DecodeJPEG, which delivers every image as RGB (libjpeg turns
// grey into RGB; CMYK rows are converted here, a few at a time).
//
// libjpeg reports fatal errors by calling error_exit, which must not return;
// ours longjmps to the recovery point in DecodeJPEG. Nothing between that
// point and the jump may own a C++ object: only plain data lives there, and
// everything is released on the way out of both paths.
#include "pixmap/jpeg_native.h"

#include <setjmp.h>
#include <stdio.h>

#include <cstdlib>
#include <cstring>

#include <jpeglib.h>
#include <jerror.h>

#include "pixmap/decode_limits.h"
#include "pixmap/pixel_memory.h"

namespace korva {
namespace {

constexpr size_t kInputBufferSize = 4096;
// Real files have a handful of scans; every scan walks the whole image, so a
// file of thousands of empty scans would take minutes.
constexpr int kMaxScans = 100;

struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf recovery;
    char reason[JMSG_LENGTH_MAX + 32];  // why the decode failed; empty for data that is no JPEG
};

struct Source {
    jpeg_source_mgr pub;
    JOCTET* buffer;
    void* handle;
    JPEGReadFunction read;
    bool startOfFile;
    bool ended;  // the data ran out and an end marker stands in for the rest
};

// ---- Error manager ----------------------------------------------------------

ErrorManager* ErrorsOf(j_common_ptr cinfo) { return reinterpret_cast<ErrorManager*>(cinfo->err); }

// Data that does not begin as a JPEG does is not refused with a reason: it
// is another decoder's. Anything else keeps libjpeg's message, unless a
// reason of our own came first.
void ErrorExit(j_common_ptr cinfo) {
    ErrorManager* errors = ErrorsOf(cinfo);
    const int code = cinfo->err->msg_code;
    if (!errors->reason[0] && code != JERR_NO_SOI && code != JERR_INPUT_EMPTY) {
        char message[JMSG_LENGTH_MAX];
        cinfo->err->format_message(cinfo, message);
        std::snprintf(errors->reason, sizeof errors->reason, "corrupt JPEG data: %s", message);
    }
    longjmp(errors->recovery, 1);
}

// Ends the decode with a reason of our own.
[[noreturn]] void Refuse(j_common_ptr cinfo, const char* reason) {
    std::snprintf(ErrorsOf(cinfo)->reason, sizeof ErrorsOf(cinfo)->reason, "%s", reason);
    longjmp(ErrorsOf(cinfo)->recovery, 1);
}

// Warnings and trace messages are dropped; warnings are still counted.
void EmitMessage(j_common_ptr cinfo, int level) {
    if (level < 0) cinfo->err->num_warnings++;
}

void OutputMessage(j_common_ptr) {}

void CheckScanCount(j_common_ptr cinfo) {
    const auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > kMaxScans) Refuse(cinfo, "too many scans (more than 100)");
}

// ---- Data source ------------------------------------------------------------

Source* SourceOf(j_decompress_ptr cinfo) { return reinterpret_cast<Source*>(cinfo->src); }

void InitSource(j_decompress_ptr cinfo) { SourceOf(cinfo)->startOfFile = true; }

boolean FillInputBuffer(j_decompress_ptr cinfo) {
    Source* source = SourceOf(cinfo);
    size_t count = source->read(source->buffer, 1, kInputBufferSize, source->handle);
    if (count > kInputBufferSize) count = kInputBufferSize;
    if (count == 0) {
        if (source->startOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
        // The data ended early: end the image here, as a cut file deserves.
        WARNMS(cinfo, JWRN_JPEG_EOF);
        source->buffer[0] = 0xFF;
        source->buffer[1] = JPEG_EOI;
        count = 2;
        source->ended = true;
    }
    source->pub.next_input_byte = source->buffer;
    source->pub.bytes_in_buffer = count;
    source->startOfFile = false;
    return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    Source* source = SourceOf(cinfo);
    while (count > static_cast<long>(source->pub.bytes_in_buffer)) {
        count -= static_cast<long>(source->pub.bytes_in_buffer);
        FillInputBuffer(cinfo);
        // Past the end only the stand-in end marker is left: skipping on
        // would make another for every two bytes of a length that a few
        // bytes of file can set to 64 KiB.
        if (source->ended) return;
    }
    source->pub.next_input_byte += count;
    source->pub.bytes_in_buffer -= static_cast<size_t>(count);
}

void TermSource(j_decompress_ptr) {}

void InstallSource(j_decompress_ptr cinfo, void* handle, JPEGReadFunction read) {
    auto* source = static_cast<Source*>(
        cinfo->mem->alloc_small(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(Source)));
    source->buffer = static_cast<JOCTET*>(
        cinfo->mem->alloc_small(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, kInputBufferSize));
    source->handle = handle;
    source->read = read;
    source->startOfFile = true;
    source->ended = false;
    source->pub.init_source = InitSource;
    source->pub.fill_input_buffer = FillInputBuffer;
    source->pub.skip_input_data = SkipInputData;
    source->pub.resync_to_restart = jpeg_resync_to_restart;
    source->pub.term_source = TermSource;
    source->pub.next_input_byte = nullptr;
    source->pub.bytes_in_buffer = 0;
    cinfo->src = &source->pub;
}

// Inverted CMYK (255 = no ink) to RGB: each colour is (255 - ink) * (255 - black) / 255,
// which on inverted values is c * k / 255, rounded.
void InvertedCmykToRgb(const uint8_t* in, uint8_t* out, size_t pixels) {
    const auto scale = [](unsigned c, unsigned k) {
        const unsigned t = c * k + 128;
        return static_cast<uint8_t>((t + (t >> 8)) >> 8);
    };
    for (size_t i = 0; i < pixels; ++i, in += 4, out += 3) {
        out[0] = scale(in[0], in[3]);
        out[1] = scale(in[1], in[3]);
        out[2] = scale(in[2], in[3]);
    }
}

}  // namespace

int DecodeJPEG(void* handle, JPEGReadFunction read, int32_t* width, int32_t* height, int32_t* components,
               uint8_t** pixels, std::string* failure) {
    *width = *height = *components = 0;
    *pixels = nullptr;

    jpeg_decompress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);
    ErrorManager errors;
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = ErrorExit;
    errors.pub.emit_message = EmitMessage;
    errors.pub.output_message = OutputMessage;
    errors.reason[0] = '\0';
    jpeg_progress_mgr progress{};
    progress.progress_monitor = CheckScanCount;
    const auto common = reinterpret_cast<j_common_ptr>(&cinfo);
    // Set before the recovery point and read after a jump: kept in memory.
    uint8_t* volatile block = nullptr;
    uint8_t* volatile cmykRows = nullptr;

    if (setjmp(errors.recovery)) {
        jpeg_destroy_decompress(&cinfo);
        std::free(block);
        std::free(cmykRows);
        if (failure) *failure = errors.reason;
        return -1;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.progress = &progress;
    // No backing store exists, so more memory than this is a fatal error.
    cinfo.mem->max_memory_to_use = static_cast<long>(detail::CurrentDecodeLimits().bytes);
    InstallSource(&cinfo, handle, read);

    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) Refuse(common, "corrupt JPEG data: no image");
    switch (cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE: cinfo.out_color_space = JCS_RGB; break;
    case JCS_YCbCr:
    case JCS_RGB: cinfo.out_color_space = JCS_RGB; break;
    case JCS_CMYK:
    case JCS_YCCK: cinfo.out_color_space = JCS_CMYK; break;
    default: {
        char reason[80];
        std::snprintf(reason, sizeof reason, "unsupported JPEG colour space (%d components)", cinfo.num_components);
        Refuse(common, reason);
    }
    }
    jpeg_calc_output_dimensions(&cinfo);
    if (!detail::DecodedSizeAllowed(cinfo.output_width, cinfo.output_height, 3, 1) ||
        !detail::DecodedSizeAllowed(cinfo.output_width, cinfo.output_height, cinfo.out_color_components, 1)) {
        char reason[80];
        std::snprintf(reason, sizeof reason, "image too large (%u x %u)", static_cast<unsigned>(cinfo.output_width),
                      static_cast<unsigned>(cinfo.output_height));
        Refuse(common, reason);
    }
    jpeg_start_decompress(&cinfo);

    const size_t rowPixels = cinfo.output_width;
    const size_t rowBytes = rowPixels * 3;
    block = detail::AllocatePixelMemory(rowBytes * cinfo.output_height);
    if (!block) Refuse(common, "out of memory");
    // Several rows per call let libjpeg upsample without its spare-row copy.
    constexpr JDIMENSION kRowsPerCall = 16;
    const bool cmyk = cinfo.out_color_space == JCS_CMYK;
    if (cmyk) {
        cmykRows = static_cast<uint8_t*>(std::malloc(rowPixels * 4 * kRowsPerCall));
        if (!cmykRows) Refuse(common, "out of memory");
    }
    JSAMPROW rows[kRowsPerCall];
    while (cinfo.output_scanline < cinfo.output_height) {
        const JDIMENSION first = cinfo.output_scanline;
        const JDIMENSION n =
            cinfo.output_height - first < kRowsPerCall ? cinfo.output_height - first : kRowsPerCall;
        for (JDIMENSION i = 0; i < n; ++i) rows[i] = cmyk ? cmykRows + i * rowPixels * 4 : block + (first + i) * rowBytes;
        jpeg_read_scanlines(&cinfo, rows, n);
        if (cmyk) InvertedCmykToRgb(cmykRows, block + first * rowBytes, (cinfo.output_scanline - first) * rowPixels);
    }
    jpeg_finish_decompress(&cinfo);

    *width = static_cast<int32_t>(cinfo.output_width);
    *height = static_cast<int32_t>(cinfo.output_height);
    *components = 3;
    *pixels = block;
    std::free(cmykRows);
    jpeg_destroy_decompress(&cinfo);
    return 0;
}

}  // namespace korva

// JPEG through libjpeg (6.2 interface). Library errors longjmp back to the codec's block, so
// the functions that set the jump point hold no objects with destructors.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>
#include <jerror.h>

#include "images/codecs.h"

static constexpr size_t kSourceBufferSize = 4096;

struct JpegCodec::Block {
    jpeg_error_mgr errors;
    jmp_buf recovery;
    jpeg_decompress_struct decompress;
    bool created;
};

namespace {

// The decompression object's data source over the codec's ImageSource.
struct DataSource {
    jpeg_source_mgr manager;
    JOCTET* buffer;
    ImageSource* input;
    bool startOfFile;
};

void SourceInit(j_decompress_ptr cinfo) { reinterpret_cast<DataSource*>(cinfo->src)->startOfFile = true; }

boolean SourceFill(j_decompress_ptr cinfo) {
    auto* src = reinterpret_cast<DataSource*>(cinfo->src);
    size_t n = src->input->Read(src->buffer, kSourceBufferSize);
    if (n == 0) {
        if (src->startOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
        WARNMS(cinfo, JWRN_JPEG_EOF);
        // An end-of-image marker lets the library finish what it has.
        src->buffer[0] = 0xFF;
        src->buffer[1] = JPEG_EOI;
        n = 2;
    }
    src->manager.next_input_byte = src->buffer;
    src->manager.bytes_in_buffer = n;
    src->startOfFile = false;
    return TRUE;
}

void SourceSkip(j_decompress_ptr cinfo, long count) {
    auto* src = reinterpret_cast<DataSource*>(cinfo->src);
    if (count <= 0) return;
    while (size_t(count) > src->manager.bytes_in_buffer) {
        count -= long(src->manager.bytes_in_buffer);
        SourceFill(cinfo);
    }
    src->manager.next_input_byte += count;
    src->manager.bytes_in_buffer -= size_t(count);
}

void SourceTerm(j_decompress_ptr) {}

void SetSource(j_decompress_ptr cinfo, ImageSource* input) {
    if (!cinfo->src) {
        auto* src = static_cast<DataSource*>(
            (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(DataSource)));
        src->buffer = static_cast<JOCTET*>(
            (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, kSourceBufferSize));
        cinfo->src = &src->manager;
    }
    auto* src = reinterpret_cast<DataSource*>(cinfo->src);
    src->manager.init_source = SourceInit;
    src->manager.fill_input_buffer = SourceFill;
    src->manager.skip_input_data = SourceSkip;
    src->manager.resync_to_restart = jpeg_resync_to_restart;
    src->manager.term_source = SourceTerm;
    src->manager.bytes_in_buffer = 0;
    src->manager.next_input_byte = nullptr;
    src->input = input;
}

// client_data holds the codec's jump buffer.
void ErrorExit(j_common_ptr cinfo) { longjmp(*static_cast<jmp_buf*>(cinfo->client_data), 1); }

void OutputMessage(j_common_ptr) {}

} // namespace

JpegCodec::~JpegCodec() {
    if (block && block->created) jpeg_destroy_decompress(&block->decompress);
    free(block);
}

static void Destroy(JpegCodec::Block* block);

bool JpegCodec::Open() {
    if (opened) return false;
    if (!block) block = static_cast<Block*>(calloc(1, sizeof(Block)));
    if (!block) return false;
    block->decompress.err = jpeg_std_error(&block->errors);
    block->errors.error_exit = ErrorExit;
    block->errors.output_message = OutputMessage;
    block->decompress.client_data = &block->recovery;
    if (setjmp(block->recovery)) return Destroy(block), false;
    jpeg_CreateDecompress(&block->decompress, JPEG_LIB_VERSION, sizeof(jpeg_decompress_struct));
    block->created = true;
    SetSource(&block->decompress, source);
    jpeg_read_header(&block->decompress, TRUE);
    j_decompress_ptr d = &block->decompress;
    if (!ImageSizeValid(d->image_width, d->image_height)) return Destroy(block), false;
    if (d->jpeg_color_space == JCS_YCbCr && d->num_components == 3) {
        AddFormat(FormatRGB24);
        AddFormat(FormatARGB32);
    } else if (d->jpeg_color_space == JCS_GRAYSCALE && d->num_components == 1) {
        AddFormat(FormatGray8);
    } else {
        return Destroy(block), false;
    }
    width = int(d->image_width), height = int(d->image_height);
    opened = true;
    return true;
}

static void Destroy(JpegCodec::Block* block) {
    if (block->created) jpeg_destroy_decompress(&block->decompress);
    block->created = false;
}

bool JpegCodec::Read(void* dst, int format, int stride, uint8_t*) {
    if (!CanRead(dst, format, stride) || !block || !block->created) return false;
    j_decompress_ptr d = &block->decompress;
    int bytes = ImageFormatBytes(format);
    if (setjmp(block->recovery)) return Destroy(block), false;
    d->out_color_space = format == FormatGray8 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(d);
    int components = format == FormatGray8 ? 1 : 3;
    if (int(d->output_width) != width || int(d->output_height) != height || d->output_components != components)
        ERREXIT(d, JERR_BAD_STATE);
    JSAMPARRAY sample = (*d->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(d), JPOOL_IMAGE,
                                                 d->output_width * components, 1);
    uint8_t* out = static_cast<uint8_t*>(dst);
    while (d->output_scanline < d->output_height) {
        uint8_t* row = out + ptrdiff_t(d->output_scanline) * stride;
        if (jpeg_read_scanlines(d, sample, 1) != 1) ERREXIT(d, JERR_INPUT_EOF);
        const uint8_t* s = sample[0];
        if (bytes == components) {
            memcpy(row, s, size_t(width) * components);
            continue;
        }
        for (int x = 0; x < width; x++, s += 3) {
            uint8_t* p = row + x * 4;
            p[0] = s[2], p[1] = s[1], p[2] = s[0], p[3] = 255;
        }
    }
    jpeg_finish_decompress(d);
    Destroy(block);
    return true;
}

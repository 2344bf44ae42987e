/* JPEG reading and writing over libjpeg-turbo. libjpeg reports a fatal
 * error through error_exit, which must not return: it longjmps back to the
 * entry point, which then releases what it holds and answers non-zero. */

#include <setjmp.h>
#include <stdio.h>
#include <string.h>

#include <jerror.h>
#include <jpeglib.h>

#include "pixcodec.h"

enum {
    MaxScans = 1000,                       /* hostile progressive files repeat scans without end */
    MaxDecoderMemory = 1024 * 1024 * 1024, /* coefficient buffers of progressive files */
};

static char lastMessage[JMSG_LENGTH_MAX + 64];
static char damageMessage[JMSG_LENGTH_MAX];

struct PixJpegError {
    struct jpeg_error_mgr pub;
    jmp_buf jump;
};

static void SetMessage(const char* text)
{
    snprintf(lastMessage, sizeof lastMessage, "%s", text);
}

static void ErrorExit(j_common_ptr cinfo)
{
    struct PixJpegError* err = (struct PixJpegError*)cinfo->err;
    char text[JMSG_LENGTH_MAX];
    err->pub.format_message(cinfo, text);
    SetMessage(text);
    longjmp(err->jump, 1);
}

/* Warnings stay silent, but those of data that is missing or broken (the
 * decoder fills the rest of the picture with grey) are kept: the picture is
 * damaged. Extraneous bytes and odd markers of whole files are not. */
static void EmitMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0) return;
    cinfo->err->num_warnings++;
    int code = cinfo->err->msg_code;
    if (damageMessage[0] == 0 && (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER || code == JWRN_HUFF_BAD_CODE ||
                                  code == JWRN_MUST_RESYNC || code == JWRN_NOT_SEQUENTIAL))
        cinfo->err->format_message(cinfo, damageMessage);
}

static void OutputMessage(j_common_ptr cinfo)
{
    (void)cinfo;
}

static void ScanLimit(j_common_ptr cinfo)
{
    if (cinfo->is_decompressor) {
        j_decompress_ptr d = (j_decompress_ptr)cinfo;
        if (d->input_scan_number > MaxScans) {
            SetMessage("Too many scans in progressive JPEG file");
            longjmp(((struct PixJpegError*)cinfo->err)->jump, 1);
        }
    }
}

static void InitError(struct PixJpegError* err)
{
    jpeg_std_error(&err->pub);
    err->pub.error_exit = ErrorExit;
    err->pub.emit_message = EmitMessage;
    err->pub.output_message = OutputMessage;
}

static int ComponentsOf(J_COLOR_SPACE space, int count)
{
    switch (space) {
        case JCS_GRAYSCALE:
            return count == 1 ? 1 : 0;
        case JCS_RGB:
        case JCS_YCbCr:
            return count == 3 ? 3 : 0;
        case JCS_CMYK:
        case JCS_YCCK:
            return count == 4 ? 3 : 0;
        default:
            return 0;
    }
}

/* A file source like jpeg_stdio_src, with a larger buffer: libjpeg-turbo
 * decodes Huffman data by its fast path only while a few kilobytes of input
 * are buffered, which jpeg_stdio_src's 4 KB allows as little as a quarter of
 * the time. It ends the same way: an empty file is an error, a truncated one
 * a warning and an inserted end-of-image marker. */
enum { SourceBufferSize = 64 * 1024 };

struct PixJpegSource {
    struct jpeg_source_mgr pub;
    FILE* file;
    JOCTET* buffer;
    boolean started;
};

static void SourceInit(j_decompress_ptr d)
{
    ((struct PixJpegSource*)d->src)->started = FALSE;
}

static boolean SourceFill(j_decompress_ptr d)
{
    struct PixJpegSource* src = (struct PixJpegSource*)d->src;
    size_t n = fread(src->buffer, 1, SourceBufferSize, src->file);
    if (n == 0) {
        if (!src->started) ERREXIT(d, JERR_INPUT_EMPTY);
        WARNMS(d, JWRN_JPEG_EOF);
        src->buffer[0] = (JOCTET)0xFF;
        src->buffer[1] = (JOCTET)JPEG_EOI;
        n = 2;
    }
    src->pub.next_input_byte = src->buffer;
    src->pub.bytes_in_buffer = n;
    src->started = TRUE;
    return TRUE;
}

static void SourceSkip(j_decompress_ptr d, long count)
{
    struct jpeg_source_mgr* src = d->src;
    if (count <= 0) return;
    while (count > (long)src->bytes_in_buffer) {
        count -= (long)src->bytes_in_buffer;
        (void)(*src->fill_input_buffer)(d);
    }
    src->next_input_byte += (size_t)count;
    src->bytes_in_buffer -= (size_t)count;
}

static void SourceTerm(j_decompress_ptr d)
{
    (void)d;
}

static void SourceSet(j_decompress_ptr d, FILE* file)
{
    struct PixJpegSource* src =
        (struct PixJpegSource*)(*d->mem->alloc_small)((j_common_ptr)d, JPOOL_PERMANENT, sizeof(struct PixJpegSource));
    src->buffer = (JOCTET*)(*d->mem->alloc_small)((j_common_ptr)d, JPOOL_PERMANENT, SourceBufferSize);
    src->file = file;
    src->started = FALSE;
    src->pub.init_source = SourceInit;
    src->pub.fill_input_buffer = SourceFill;
    src->pub.skip_input_data = SourceSkip;
    src->pub.resync_to_restart = jpeg_resync_to_restart;
    src->pub.term_source = SourceTerm;
    src->pub.bytes_in_buffer = 0;
    src->pub.next_input_byte = NULL;
    d->src = &src->pub;
}

/* Opens name and reads its header into d; 0 on success. The caller has set
 * d's error manager and its jump point. */
static int ReadHeader(j_decompress_ptr d, FILE* file, int32_t* width, int32_t* height, int32_t* components)
{
    SourceSet(d, file);
    jpeg_read_header(d, TRUE);
    int comps = ComponentsOf(d->jpeg_color_space, d->num_components);
    if (comps == 0) {
        SetMessage("Unsupported JPEG colour space");
        return 1;
    }
    *width = (int32_t)d->image_width;
    *height = (int32_t)d->image_height;
    *components = comps;
    return 0;
}

int info_JPEG_file(const char* name, int32_t* width, int32_t* height, int32_t* components)
{
    struct jpeg_decompress_struct d;
    struct PixJpegError err;
    FILE* volatile file = NULL;
    int volatile result = 1;

    lastMessage[0] = 0;
    file = fopen(name, "rb");
    if (file == NULL) {
        SetMessage("Cannot open file");
        return 1;
    }
    memset(&d, 0, sizeof d);
    d.err = &err.pub;
    InitError(&err);
    if (setjmp(err.jump) == 0) {
        jpeg_create_decompress(&d);
        result = ReadHeader(&d, file, width, height, components);
    }
    jpeg_destroy_decompress(&d);
    fclose(file);
    return result;
}

/* CMYK rows as Adobe writes them are inverted; plain CMYK is not. */
static void CmykToBgr(const JSAMPLE* in, uint8_t* out, JDIMENSION width, int inverted)
{
    for (JDIMENSION x = 0; x < width; ++x, in += 4, out += 3) {
        unsigned c = in[0], m = in[1], y = in[2], k = in[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        out[0] = (uint8_t)((y * k + 127) / 255);
        out[1] = (uint8_t)((m * k + 127) / 255);
        out[2] = (uint8_t)((c * k + 127) / 255);
    }
}

int read_JPEG_file(const char* name, uint8_t* buffer, size_t bufferSize, int32_t* width, int32_t* height,
                   int32_t* components)
{
    struct jpeg_decompress_struct d;
    struct PixJpegError err;
    struct jpeg_progress_mgr progress;
    FILE* volatile file = NULL;
    int volatile result = 1;

    lastMessage[0] = 0;
    damageMessage[0] = 0;
    file = fopen(name, "rb");
    if (file == NULL) {
        SetMessage("Cannot open file");
        return 1;
    }
    memset(&d, 0, sizeof d);
    d.err = &err.pub;
    InitError(&err);
    if (setjmp(err.jump) == 0) {
        jpeg_create_decompress(&d);
        d.mem->max_memory_to_use = MaxDecoderMemory;
        progress.progress_monitor = ScanLimit;
        d.progress = &progress;
        int32_t w = 0, h = 0, c = 0;
        if (ReadHeader(&d, file, &w, &h, &c) == 0) {
            int cmyk = d.jpeg_color_space == JCS_CMYK || d.jpeg_color_space == JCS_YCCK;
            int inverted = cmyk && d.saw_Adobe_marker;
            d.out_color_space = c == 1 ? JCS_GRAYSCALE : (cmyk ? JCS_CMYK : JCS_EXT_BGR);
            size_t stride = (size_t)w * (size_t)c;
            if (stride / (size_t)c != (size_t)w || (h > 0 && stride > bufferSize / (size_t)h)) {
                SetMessage("Image buffer too small");
            } else {
                jpeg_start_decompress(&d);
                if (d.output_width != (JDIMENSION)w || d.output_height != (JDIMENSION)h) {
                    SetMessage("Unexpected JPEG output size");
                } else {
                    JSAMPARRAY cmykRow = NULL;
                    if (cmyk) cmykRow = (*d.mem->alloc_sarray)((j_common_ptr)&d, JPOOL_IMAGE, d.output_width * 4, 1);
                    while (d.output_scanline < d.output_height) {
                        uint8_t* row = buffer + stride * d.output_scanline;
                        if (cmyk) {
                            jpeg_read_scanlines(&d, cmykRow, 1);
                            CmykToBgr(cmykRow[0], row, d.output_width, inverted);
                        } else {
                            JSAMPROW rows[1] = {row};
                            jpeg_read_scanlines(&d, rows, 1);
                        }
                    }
                    jpeg_finish_decompress(&d);
                    *width = w;
                    *height = h;
                    *components = c;
                    result = 0;
                }
            }
        }
    }
    jpeg_destroy_decompress(&d);
    fclose(file);
    return result;
}

int write_JPEG_file(const char* name, const uint8_t* buffer, int32_t width, int32_t height, int32_t quality)
{
    struct jpeg_compress_struct c;
    struct PixJpegError err;
    FILE* volatile file = NULL;
    int volatile result = 1;

    lastMessage[0] = 0;
    if (buffer == NULL || width <= 0 || height <= 0 || quality < 1 || quality > 100) {
        SetMessage("Invalid JPEG parameters");
        return 1;
    }
    file = fopen(name, "wb");
    if (file == NULL) {
        SetMessage("Cannot create file");
        return 1;
    }
    memset(&c, 0, sizeof c);
    c.err = &err.pub;
    InitError(&err);
    if (setjmp(err.jump) == 0) {
        jpeg_create_compress(&c);
        jpeg_stdio_dest(&c, file);
        c.image_width = (JDIMENSION)width;
        c.image_height = (JDIMENSION)height;
        c.input_components = 3;
        c.in_color_space = JCS_EXT_BGR;
        jpeg_set_defaults(&c);
        jpeg_set_quality(&c, quality, TRUE);
        jpeg_start_compress(&c, TRUE);
        size_t stride = (size_t)width * 3;
        while (c.next_scanline < c.image_height) {
            JSAMPROW rows[1] = {(JSAMPROW)(buffer + stride * c.next_scanline)};
            jpeg_write_scanlines(&c, rows, 1);
        }
        jpeg_finish_compress(&c);
        result = 0;
    }
    jpeg_destroy_compress(&c);
    if (fclose(file) != 0 && result == 0) {
        SetMessage("Cannot write to file");
        result = 1;
    }
    if (result != 0) remove(name);
    return result;
}

const char* pixcodec_JPEG_message(void)
{
    return lastMessage;
}

const char* pixcodec_JPEG_damage(void)
{
    return damageMessage;
}

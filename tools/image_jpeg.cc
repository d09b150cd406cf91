// JPEG through libjpeg: gray, RGB (YCbCr in the file) and CMYK. CMYK JPEG
// files follow Adobe's convention of inverted samples, which readers expect
// whenever the Adobe marker is present. libjpeg reports errors by longjmp,
// so every function that calls setjmp works on plain data only.
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

#include "image_formats.h"

namespace tool {

namespace {

struct JpegErrors {
    jpeg_error_mgr manager;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void OnJpegError(j_common_ptr info) {
    auto* e = reinterpret_cast<JpegErrors*>(info->err);
    (*info->err->format_message)(info, e->message);
    longjmp(e->jump, 1);
}

void OnJpegMessage(j_common_ptr, int) {}

struct ReadState {
    jpeg_decompress_struct info;
    JpegErrors errors;
    FILE* file;
    JOCTET* icc;  // malloc'd by libjpeg
    unsigned int iccLength;
    bool inverted;
};

bool ReadHeader(ReadState* s) {
    if (setjmp(s->errors.jump)) return false;
    jpeg_stdio_src(&s->info, s->file);
    jpeg_save_markers(&s->info, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&s->info, TRUE);
    switch (s->info.jpeg_color_space) {
        case JCS_GRAYSCALE: s->info.out_color_space = JCS_GRAYSCALE; break;
        case JCS_CMYK:
        case JCS_YCCK:
            s->info.out_color_space = JCS_CMYK;
            s->inverted = s->info.saw_Adobe_marker;
            break;
        default: s->info.out_color_space = JCS_RGB; break;
    }
    if (!jpeg_read_icc_profile(&s->info, &s->icc, &s->iccLength)) s->icc = nullptr;
    jpeg_start_decompress(&s->info);
    return true;
}

bool ReadRows(ReadState* s, uint8_t* pixels, size_t rowBytes) {
    if (setjmp(s->errors.jump)) return false;
    while (s->info.output_scanline < s->info.output_height) {
        JSAMPROW row = pixels + size_t(s->info.output_scanline) * rowBytes;
        jpeg_read_scanlines(&s->info, &row, 1);
    }
    jpeg_finish_decompress(&s->info);
    return true;
}

struct WriteState {
    jpeg_compress_struct info;
    JpegErrors errors;
    FILE* file;
};

bool WriteAll(WriteState* s, const uint8_t* pixels, uint8_t* row, size_t rowBytes, bool invert, const uint8_t* icc,
              unsigned iccLength) {
    if (setjmp(s->errors.jump)) return false;
    jpeg_stdio_dest(&s->info, s->file);
    jpeg_set_defaults(&s->info);
    jpeg_set_quality(&s->info, 95, TRUE);
    jpeg_start_compress(&s->info, TRUE);
    if (iccLength) jpeg_write_icc_profile(&s->info, icc, iccLength);
    while (s->info.next_scanline < s->info.image_height) {
        const uint8_t* source = pixels + size_t(s->info.next_scanline) * rowBytes;
        for (size_t i = 0; i < rowBytes; ++i) row[i] = invert ? uint8_t(255 - source[i]) : source[i];
        JSAMPROW pointer = row;
        jpeg_write_scanlines(&s->info, &pointer, 1);
    }
    jpeg_finish_compress(&s->info);
    return true;
}

}  // namespace

bool ReadJpeg(const std::string& path, Image* image, std::string* error) {
    ReadState s;
    std::memset(&s, 0, sizeof s);
    s.file = std::fopen(path.c_str(), "rb");
    if (!s.file) {
        *error = std::string("cannot open: ") + std::strerror(errno);
        return false;
    }
    s.info.err = jpeg_std_error(&s.errors.manager);
    s.errors.manager.error_exit = OnJpegError;
    s.errors.manager.emit_message = OnJpegMessage;
    jpeg_create_decompress(&s.info);
    bool ok = ReadHeader(&s);
    if (ok) {
        if (s.icc) image->icc.assign(s.icc, s.icc + s.iccLength);
        image->width = s.info.output_width;
        image->height = s.info.output_height;
        image->bits = 8;
        image->colour = s.info.output_components;
        image->extra = 0;
        image->model = image->colour == 1 ? ColourModel::Gray
                       : image->colour == 4 ? ColourModel::Cmyk
                                            : ColourModel::Rgb;
        image->pixels.resize(image->RowBytes() * image->height);
        ok = ReadRows(&s, image->pixels.data(), image->RowBytes());
    }
    jpeg_destroy_decompress(&s.info);
    std::free(s.icc);
    std::fclose(s.file);
    if (!ok) {
        *error = std::string("bad JPEG: ") + s.errors.message;
        return false;
    }
    if (s.inverted)
        for (uint8_t& v : image->pixels) v = uint8_t(255 - v);
    return true;
}

bool WriteJpeg(const std::string& path, const Image& image, std::string* error) {
    WriteState s;
    std::memset(&s, 0, sizeof s);
    s.file = std::fopen(path.c_str(), "wb");
    if (!s.file) {
        *error = std::string("cannot write: ") + std::strerror(errno);
        return false;
    }
    Bytes row(image.RowBytes());
    s.info.err = jpeg_std_error(&s.errors.manager);
    s.errors.manager.error_exit = OnJpegError;
    s.errors.manager.emit_message = OnJpegMessage;
    jpeg_create_compress(&s.info);
    s.info.image_width = image.width;
    s.info.image_height = image.height;
    s.info.input_components = image.colour;
    s.info.in_color_space = image.model == ColourModel::Gray   ? JCS_GRAYSCALE
                            : image.model == ColourModel::Cmyk ? JCS_CMYK
                                                               : JCS_RGB;
    bool ok = WriteAll(&s, image.pixels.data(), row.data(), row.size(), image.model == ColourModel::Cmyk,
                       image.icc.data(), unsigned(image.icc.size()));
    jpeg_destroy_compress(&s.info);
    return FinishWrite(ok, s.file, "JPEG", s.errors.message, error);
}

}  // namespace tool

// PNG through libpng. libpng reports errors by longjmp, so every function
// that calls setjmp works on plain data only (a state record and raw
// buffers made by its caller); nothing with a destructor lives there.
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <png.h>

#include "image_formats.h"

namespace tool {

namespace {

struct PngState {
    FILE* file = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    char message[256] = {};
    png_uint_32 width = 0, height = 0;
    int channels = 0, bits = 0, type = 0;
    png_bytep profile = nullptr;  // owned by libpng until destroyed
    png_uint_32 profileLength = 0;
};

void OnPngError(png_structp png, png_const_charp text) {
    auto* s = static_cast<PngState*>(png_get_error_ptr(png));
    std::snprintf(s->message, sizeof s->message, "%s", text);
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

bool IsLittleEndian() {
    uint16_t probe = 1;
    uint8_t first;
    std::memcpy(&first, &probe, 1);
    return first == 1;
}

bool ReadHeader(PngState* s) {
    if (setjmp(png_jmpbuf(s->png))) return false;
    png_init_io(s->png, s->file);
    png_read_info(s->png, s->info);
    int type = png_get_color_type(s->png, s->info), depth = png_get_bit_depth(s->png, s->info);
    // Palettes and low depths widen to 8 bits; transparency becomes alpha.
    if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(s->png);
    if (type == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(s->png);
    if (png_get_valid(s->png, s->info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(s->png);
    if (depth == 16 && IsLittleEndian()) png_set_swap(s->png);
    png_set_interlace_handling(s->png);
    png_read_update_info(s->png, s->info);
    s->width = png_get_image_width(s->png, s->info);
    s->height = png_get_image_height(s->png, s->info);
    s->channels = png_get_channels(s->png, s->info);
    s->bits = png_get_bit_depth(s->png, s->info);
    s->type = png_get_color_type(s->png, s->info);
    png_charp name = nullptr;
    int compression = 0;
    if (!png_get_iCCP(s->png, s->info, &name, &compression, &s->profile, &s->profileLength)) {
        s->profile = nullptr;
        s->profileLength = 0;
    }
    return true;
}

bool ReadRows(PngState* s, png_bytepp rows) {
    if (setjmp(png_jmpbuf(s->png))) return false;
    png_read_image(s->png, rows);
    png_read_end(s->png, nullptr);
    return true;
}

bool WriteAll(PngState* s, png_bytepp rows, const uint8_t* icc, png_uint_32 iccLength, int type, int bits) {
    if (setjmp(png_jmpbuf(s->png))) return false;
    png_init_io(s->png, s->file);
    png_set_IHDR(s->png, s->info, s->width, s->height, bits, type, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (iccLength) png_set_iCCP(s->png, s->info, "ICC profile", PNG_COMPRESSION_TYPE_BASE, icc, iccLength);
    png_write_info(s->png, s->info);
    if (bits == 16 && IsLittleEndian()) png_set_swap(s->png);
    png_write_image(s->png, rows);
    png_write_end(s->png, nullptr);
    return true;
}

}  // namespace

bool ReadPng(const std::string& path, Image* image, std::string* error) {
    PngState s;
    s.file = std::fopen(path.c_str(), "rb");
    if (!s.file) {
        *error = std::string("cannot open: ") + std::strerror(errno);
        return false;
    }
    s.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &s, OnPngError, OnPngWarning);
    s.info = s.png ? png_create_info_struct(s.png) : nullptr;
    bool ok = s.info && ReadHeader(&s);
    if (ok && (s.width == 0 || s.height == 0 || (s.bits != 8 && s.bits != 16) ||
               uint64_t(s.width) * s.height > (uint64_t(1) << 31))) {
        std::snprintf(s.message, sizeof s.message, "unsupported size or depth");
        ok = false;
    }
    if (ok) {
        image->width = s.width;
        image->height = s.height;
        image->bits = s.bits;
        image->model = (s.type & PNG_COLOR_MASK_COLOR) ? ColourModel::Rgb : ColourModel::Gray;
        image->colour = image->model == ColourModel::Rgb ? 3 : 1;
        image->extra = s.channels - image->colour;
        image->extraKinds.assign(size_t(image->extra), 2);  // PNG alpha is unassociated
        if (s.profile) image->icc.assign(s.profile, s.profile + s.profileLength);
        image->pixels.resize(image->RowBytes() * s.height);
        std::vector<png_bytep> rows(s.height);
        for (png_uint_32 y = 0; y < s.height; ++y) rows[y] = image->pixels.data() + y * image->RowBytes();
        ok = ReadRows(&s, rows.data());
    }
    png_destroy_read_struct(&s.png, s.info ? &s.info : nullptr, nullptr);
    std::fclose(s.file);
    if (!ok) *error = std::string("bad PNG: ") + (s.message[0] ? s.message : "out of memory");
    return ok;
}

bool WritePng(const std::string& path, const Image& image, std::string* error) {
    PngState s;
    s.file = std::fopen(path.c_str(), "wb");
    if (!s.file) {
        *error = std::string("cannot write: ") + std::strerror(errno);
        return false;
    }
    std::vector<png_bytep> rows(image.height);
    for (uint32_t y = 0; y < image.height; ++y)
        rows[y] = const_cast<png_bytep>(image.pixels.data() + y * image.RowBytes());
    s.width = image.width;
    s.height = image.height;
    int type = image.model == ColourModel::Rgb ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY;
    if (image.extra == 1) type |= PNG_COLOR_MASK_ALPHA;
    s.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &s, OnPngError, OnPngWarning);
    s.info = s.png ? png_create_info_struct(s.png) : nullptr;
    bool ok = s.info && WriteAll(&s, rows.data(), image.icc.data(), png_uint_32(image.icc.size()), type, image.bits);
    png_destroy_write_struct(&s.png, s.info ? &s.info : nullptr);
    return FinishWrite(ok, s.file, "PNG", s.message[0] ? s.message : "out of memory", error);
}

}  // namespace tool

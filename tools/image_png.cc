// PNG through libpng, a row at a time. libpng reports errors by longjmp, so
// every function that calls setjmp works on plain data only (the state
// record and raw buffers); nothing with a destructor lives there.
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <png.h>

#include "image_formats.h"

namespace tool {

namespace {

constexpr const char* kXmpKeyword = "XML:com.adobe.xmp";

struct PngState {
    png_structp png = nullptr;
    png_infop info = nullptr;
    char message[256] = {};
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

std::string Message(const PngState& s) { return std::string("bad PNG: ") + (s.message[0] ? s.message : "out of memory"); }

}  // namespace

struct PngReader {
    PngState s;
    std::FILE* file = nullptr;
    png_uint_32 width = 0, height = 0, next = 0;
    int passes = 1;
    size_t rowBytes = 0;
    Bytes whole;  // an interlaced image, read whole on the first call
};

struct PngWriter {
    PngState s;
    size_t rowBytes = 0;
};

namespace {

bool ReadHeader(PngReader* r, ImageInfo* out) {
    PngState* s = &r->s;
    if (setjmp(png_jmpbuf(s->png))) return false;
    png_init_io(s->png, r->file);
    png_read_info(s->png, s->info);
    int type = png_get_color_type(s->png, s->info), depth = png_get_bit_depth(s->png, s->info);
    // Palettes and low depths widen to 8 bits; transparency becomes alpha.
    if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(s->png);
    if (type == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(s->png);
    if (png_get_valid(s->png, s->info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(s->png);
    if (depth == 16 && IsLittleEndian()) png_set_swap(s->png);
    r->passes = png_set_interlace_handling(s->png);
    png_read_update_info(s->png, s->info);
    r->width = png_get_image_width(s->png, s->info);
    r->height = png_get_image_height(s->png, s->info);
    out->bits = png_get_bit_depth(s->png, s->info);
    const int channels = png_get_channels(s->png, s->info);
    type = png_get_color_type(s->png, s->info);
    out->model = (type & PNG_COLOR_MASK_COLOR) ? ColourModel::Rgb : ColourModel::Gray;
    out->colour = out->model == ColourModel::Rgb ? 3 : 1;
    out->extra = channels - out->colour;
    out->extraKinds.assign(size_t(out->extra > 0 ? out->extra : 0), 2);  // PNG alpha is unassociated
    png_charp name = nullptr;
    png_bytep profile = nullptr;
    png_uint_32 length = 0;
    int compression = 0;
    if (png_get_iCCP(s->png, s->info, &name, &compression, &profile, &length) && profile)
        out->icc.assign(profile, profile + length);
    png_bytep exif = nullptr;
    png_uint_32 exifLength = 0;
    if (png_get_eXIf_1(s->png, s->info, &exifLength, &exif) && exif) out->meta.exif.assign(exif, exif + exifLength);
    png_textp texts = nullptr;
    int count = png_get_text(s->png, s->info, &texts, nullptr);
    for (int i = 0; i < count; ++i)
        if (!std::strcmp(texts[i].key, kXmpKeyword)) {
            size_t n = texts[i].itxt_length ? texts[i].itxt_length : texts[i].text_length;
            out->meta.xmp.assign(texts[i].text, texts[i].text + n);
        }
    png_uint_32 x = 0, y = 0;
    int unit = 0;
    if (png_get_pHYs(s->png, s->info, &x, &y, &unit) && unit == PNG_RESOLUTION_METER) {
        out->meta.resolutionUnit = 2;  // per centimetre, exactly
        out->meta.xResolution = x / 100.0;
        out->meta.yResolution = y / 100.0;
    }
    return true;
}

bool ReadInto(PngReader* r, png_bytep* rows, uint32_t count, bool end) {
    if (setjmp(png_jmpbuf(r->s.png))) return false;
    png_read_rows(r->s.png, rows, nullptr, count);
    if (end) png_read_end(r->s.png, nullptr);
    return true;
}

bool ReadWhole(PngReader* r, png_bytep* rows) {
    if (setjmp(png_jmpbuf(r->s.png))) return false;
    png_read_image(r->s.png, rows);
    png_read_end(r->s.png, nullptr);
    return true;
}

bool WriteHeader(PngWriter* w, std::FILE* file, const ImageInfo* info, png_textp xmp) {
    PngState* s = &w->s;
    if (setjmp(png_jmpbuf(s->png))) return false;
    png_init_io(s->png, file);
    int type = info->model == ColourModel::Rgb ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY;
    if (info->extra == 1) type |= PNG_COLOR_MASK_ALPHA;
    png_set_IHDR(s->png, s->info, info->width, info->height, info->bits, type, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!info->icc.empty())
        png_set_iCCP(s->png, s->info, "ICC profile", PNG_COMPRESSION_TYPE_BASE, info->icc.data(),
                     png_uint_32(info->icc.size()));
    if (!info->meta.exif.empty())
        png_set_eXIf_1(s->png, s->info, png_uint_32(info->meta.exif.size()),
                       const_cast<png_bytep>(info->meta.exif.data()));
    if (xmp) png_set_text(s->png, s->info, xmp, 1);
    const Metadata& m = info->meta;
    if (m.resolutionUnit && m.xResolution > 0 && m.yResolution > 0) {
        double perMetre = m.resolutionUnit == 1 ? 1 / 0.0254 : 100.0;
        png_set_pHYs(s->png, s->info, png_uint_32(m.xResolution * perMetre + 0.5),
                     png_uint_32(m.yResolution * perMetre + 0.5), PNG_RESOLUTION_METER);
    }
    png_write_info(s->png, s->info);
    if (info->bits == 16 && IsLittleEndian()) png_set_swap(s->png);
    return true;
}

bool WriteRowsRaw(PngWriter* w, png_bytep* rows, uint32_t count) {
    if (setjmp(png_jmpbuf(w->s.png))) return false;
    png_write_rows(w->s.png, rows, count);
    return true;
}

bool WriteEnd(PngWriter* w) {
    if (setjmp(png_jmpbuf(w->s.png))) return false;
    png_write_end(w->s.png, nullptr);
    return true;
}

}  // namespace

bool PngOpenRead(std::FILE* file, PngReader** out, ImageInfo* info, std::string* error) {
    auto* r = new PngReader;
    r->file = file;
    r->s.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &r->s, OnPngError, OnPngWarning);
    r->s.info = r->s.png ? png_create_info_struct(r->s.png) : nullptr;
    bool ok = r->s.info && ReadHeader(r, info);
    if (ok && (r->width == 0 || r->height == 0 || (info->bits != 8 && info->bits != 16))) {
        std::snprintf(r->s.message, sizeof r->s.message, "unsupported size or depth");
        ok = false;
    }
    if (!ok) {
        *error = Message(r->s);
        PngCloseRead(r);
        return false;
    }
    info->width = r->width;
    info->height = r->height;
    r->rowBytes = info->RowBytes();
    *out = r;
    return true;
}

bool PngReadRows(PngReader* r, uint32_t count, uint8_t* band, std::string* error) {
    if (count > r->height - r->next) {
        *error = "read past the last row";
        return false;
    }
    std::vector<png_bytep> rows(count);
    if (r->passes > 1) {
        // Interlaced rows arrive in passes over the whole image.
        if (r->whole.empty()) {
            r->whole.resize(r->rowBytes * r->height);
            std::vector<png_bytep> all(r->height);
            for (png_uint_32 y = 0; y < r->height; ++y) all[y] = r->whole.data() + y * r->rowBytes;
            if (!ReadWhole(r, all.data())) {
                *error = Message(r->s);
                return false;
            }
        }
        std::memcpy(band, r->whole.data() + r->next * r->rowBytes, count * r->rowBytes);
        r->next += count;
        return true;
    }
    for (uint32_t y = 0; y < count; ++y) rows[y] = band + y * r->rowBytes;
    bool last = r->next + count == r->height;
    if (!ReadInto(r, rows.data(), count, last)) {
        *error = Message(r->s);
        return false;
    }
    r->next += count;
    return true;
}

void PngCloseRead(PngReader* r) {
    if (r->s.png) png_destroy_read_struct(&r->s.png, r->s.info ? &r->s.info : nullptr, nullptr);
    delete r;
}

bool PngOpenWrite(std::FILE* file, const ImageInfo& info, PngWriter** out, std::string* error) {
    auto* w = new PngWriter;
    w->rowBytes = info.RowBytes();
    w->s.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &w->s, OnPngError, OnPngWarning);
    w->s.info = w->s.png ? png_create_info_struct(w->s.png) : nullptr;
    png_text xmp = {};
    std::string xmpText(info.meta.xmp.begin(), info.meta.xmp.end());
    xmp.compression = PNG_ITXT_COMPRESSION_NONE;
    xmp.key = const_cast<char*>(kXmpKeyword);
    xmp.text = xmpText.data();
    xmp.itxt_length = xmpText.size();
    if (!w->s.info || !WriteHeader(w, file, &info, xmpText.empty() ? nullptr : &xmp)) {
        *error = std::string("cannot write PNG: ") + (w->s.message[0] ? w->s.message : "out of memory");
        PngCloseWrite(w, false, error);
        return false;
    }
    *out = w;
    return true;
}

bool PngWriteRows(PngWriter* w, uint32_t count, const uint8_t* band, std::string* error) {
    std::vector<png_bytep> rows(count);
    for (uint32_t y = 0; y < count; ++y) rows[y] = const_cast<png_bytep>(band + y * w->rowBytes);
    if (WriteRowsRaw(w, rows.data(), count)) return true;
    *error = std::string("cannot write PNG: ") + w->s.message;
    return false;
}

bool PngCloseWrite(PngWriter* w, bool complete, std::string* error) {
    bool ok = true;
    if (complete && !WriteEnd(w)) {
        *error = std::string("cannot write PNG: ") + w->s.message;
        ok = false;
    }
    if (w->s.png) png_destroy_write_struct(&w->s.png, w->s.info ? &w->s.info : nullptr);
    delete w;
    return ok;
}

}  // namespace tool

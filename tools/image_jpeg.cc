// JPEG through libjpeg, a row at a time: gray, RGB (YCbCr in the file) and
// CMYK. CMYK JPEG files follow Adobe's convention of inverted samples,
// which readers expect whenever the Adobe marker is present. Decoding is
// strict: every libjpeg warning (a premature end of the data above all) is
// an error. libjpeg reports errors by longjmp, so every function that calls
// setjmp works on plain data only.
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

#include "image_formats.h"

namespace tool {

namespace {

const char kExifId[] = "Exif\0";          // with its second NUL: 6 bytes
const char kXmpId[] = "http://ns.adobe.com/xap/1.0/";  // with its NUL: 29 bytes
constexpr size_t kMarkerMax = 65533;

struct JpegErrors {
    jpeg_error_mgr manager;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void OnJpegError(j_common_ptr info) {
    auto* e = reinterpret_cast<JpegErrors*>(info->err);
    (*info->err->format_message)(info, e->message);
    longjmp(e->jump, 1);
}

// Level -1 is a warning: corrupt or missing data that libjpeg would paper
// over with grey. Higher levels are trace messages.
void OnJpegMessage(j_common_ptr info, int level) {
    if (level < 0) OnJpegError(info);
}

void InitErrors(JpegErrors* e, jpeg_error_mgr** slot) {
    *slot = jpeg_std_error(&e->manager);
    e->manager.error_exit = OnJpegError;
    e->manager.emit_message = OnJpegMessage;
    e->message[0] = 0;
}

}  // namespace

struct JpegReader {
    jpeg_decompress_struct info;
    JpegErrors errors;
    JOCTET* icc;  // malloc'd by libjpeg
    unsigned int iccLength;
    bool inverted;
    size_t rowBytes;
};

struct JpegWriter {
    jpeg_compress_struct info;
    JpegErrors errors;
    bool invert;
    size_t rowBytes;
    uint8_t* row;  // an inverted copy of a CMYK row
};

namespace {

bool ReadHeader(JpegReader* r, std::FILE* file) {
    if (setjmp(r->errors.jump)) return false;
    jpeg_create_decompress(&r->info);
    jpeg_stdio_src(&r->info, file);
    jpeg_save_markers(&r->info, JPEG_APP0 + 1, 0xFFFF);
    jpeg_save_markers(&r->info, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&r->info, TRUE);
    switch (r->info.jpeg_color_space) {
        case JCS_GRAYSCALE: r->info.out_color_space = JCS_GRAYSCALE; break;
        case JCS_CMYK:
        case JCS_YCCK:
            r->info.out_color_space = JCS_CMYK;
            r->inverted = r->info.saw_Adobe_marker;
            break;
        default: r->info.out_color_space = JCS_RGB; break;
    }
    if (!jpeg_read_icc_profile(&r->info, &r->icc, &r->iccLength)) r->icc = nullptr;
    jpeg_start_decompress(&r->info);
    return true;
}

bool ReadScanlines(JpegReader* r, uint8_t* band, uint32_t count, bool last) {
    if (setjmp(r->errors.jump)) return false;
    for (uint32_t y = 0; y < count;) {
        JSAMPROW row = band + size_t(y) * r->rowBytes;
        y += jpeg_read_scanlines(&r->info, &row, 1);
    }
    if (last) jpeg_finish_decompress(&r->info);
    return true;
}

bool StartCompress(JpegWriter* w, std::FILE* file, const ImageInfo* image, int quality) {
    if (setjmp(w->errors.jump)) return false;
    jpeg_create_compress(&w->info);
    jpeg_stdio_dest(&w->info, file);
    w->info.image_width = image->width;
    w->info.image_height = image->height;
    w->info.input_components = image->colour;
    w->info.in_color_space = image->model == ColourModel::Gray   ? JCS_GRAYSCALE
                             : image->model == ColourModel::Cmyk ? JCS_CMYK
                                                                 : JCS_RGB;
    jpeg_set_defaults(&w->info);
    jpeg_set_quality(&w->info, quality, TRUE);
    const Metadata& m = image->meta;
    if (m.resolutionUnit && m.xResolution > 0 && m.yResolution > 0) {
        // JFIF densities are 16-bit integers; per inch keeps the most.
        double scale = m.resolutionUnit == 2 ? 2.54 : 1.0;
        // libjpeg writes JFIF for gray and YCbCr only; CMYK files keep
        // their density there too (readers take JFIF beside Adobe's marker).
        w->info.write_JFIF_header = TRUE;
        w->info.density_unit = 1;
        w->info.X_density = UINT16(std::min(65535.0, m.xResolution * scale + 0.5));
        w->info.Y_density = UINT16(std::min(65535.0, m.yResolution * scale + 0.5));
    }
    jpeg_start_compress(&w->info, TRUE);
    uint8_t marker[kMarkerMax];
    if (!m.exif.empty() && m.exif.size() + 6 <= kMarkerMax) {
        std::memcpy(marker, kExifId, 6);
        std::memcpy(marker + 6, m.exif.data(), m.exif.size());
        jpeg_write_marker(&w->info, JPEG_APP0 + 1, marker, unsigned(m.exif.size() + 6));
    }
    if (!m.xmp.empty() && m.xmp.size() + sizeof kXmpId <= kMarkerMax) {
        std::memcpy(marker, kXmpId, sizeof kXmpId);
        std::memcpy(marker + sizeof kXmpId, m.xmp.data(), m.xmp.size());
        jpeg_write_marker(&w->info, JPEG_APP0 + 1, marker, unsigned(m.xmp.size() + sizeof kXmpId));
    }
    if (!image->icc.empty()) jpeg_write_icc_profile(&w->info, image->icc.data(), unsigned(image->icc.size()));
    return true;
}

bool WriteScanlines(JpegWriter* w, const uint8_t* band, uint32_t count) {
    if (setjmp(w->errors.jump)) return false;
    for (uint32_t y = 0; y < count; ++y) {
        const uint8_t* source = band + size_t(y) * w->rowBytes;
        if (w->invert)
            for (size_t i = 0; i < w->rowBytes; ++i) w->row[i] = uint8_t(255 - source[i]);
        JSAMPROW pointer = w->invert ? w->row : const_cast<uint8_t*>(source);
        jpeg_write_scanlines(&w->info, &pointer, 1);
    }
    return true;
}

bool FinishCompress(JpegWriter* w) {
    if (setjmp(w->errors.jump)) return false;
    jpeg_finish_compress(&w->info);
    return true;
}

void TakeMarkers(const jpeg_decompress_struct& info, Metadata* meta) {
    for (jpeg_saved_marker_ptr m = info.marker_list; m; m = m->next) {
        if (m->marker != JPEG_APP0 + 1) continue;
        if (m->data_length > 6 && !std::memcmp(m->data, kExifId, 6))
            meta->exif.assign(m->data + 6, m->data + m->data_length);
        else if (m->data_length > sizeof kXmpId && !std::memcmp(m->data, kXmpId, sizeof kXmpId))
            meta->xmp.assign(m->data + sizeof kXmpId, m->data + m->data_length);
    }
    if (info.saw_JFIF_marker && (info.density_unit == 1 || info.density_unit == 2) && info.X_density &&
        info.Y_density) {
        meta->resolutionUnit = info.density_unit;
        meta->xResolution = info.X_density;
        meta->yResolution = info.Y_density;
    }
    uint16_t orientation = ExifOrientation(meta->exif);
    if (orientation >= 1 && orientation <= 8) meta->orientation = orientation;
}

}  // namespace

bool JpegOpenRead(std::FILE* file, JpegReader** out, ImageInfo* image, std::string* error) {
    auto* r = static_cast<JpegReader*>(std::calloc(1, sizeof(JpegReader)));
    if (!r) {
        *error = "out of memory";
        return false;
    }
    InitErrors(&r->errors, &r->info.err);
    if (!ReadHeader(r, file)) {
        *error = std::string("bad JPEG: ") + r->errors.message;
        JpegCloseRead(r);
        return false;
    }
    if (r->icc) image->icc.assign(r->icc, r->icc + r->iccLength);
    image->width = r->info.output_width;
    image->height = r->info.output_height;
    image->bits = 8;
    image->colour = r->info.output_components;
    image->extra = 0;
    image->model = image->colour == 1 ? ColourModel::Gray : image->colour == 4 ? ColourModel::Cmyk : ColourModel::Rgb;
    TakeMarkers(r->info, &image->meta);
    r->rowBytes = image->RowBytes();
    *out = r;
    return true;
}

bool JpegReadRows(JpegReader* r, uint32_t count, uint8_t* band, std::string* error) {
    if (count > r->info.output_height - r->info.output_scanline) {
        *error = "read past the last row";
        return false;
    }
    bool last = r->info.output_scanline + count == r->info.output_height;
    if (!ReadScanlines(r, band, count, last)) {
        *error = std::string("bad JPEG: ") + r->errors.message;
        return false;
    }
    if (r->inverted)
        for (size_t i = 0; i < size_t(count) * r->rowBytes; ++i) band[i] = uint8_t(255 - band[i]);
    return true;
}

void JpegCloseRead(JpegReader* r) {
    jpeg_destroy_decompress(&r->info);
    std::free(r->icc);
    std::free(r);
}

bool JpegOpenWrite(std::FILE* file, const ImageInfo& image, int quality, JpegWriter** out, std::string* error) {
    auto* w = static_cast<JpegWriter*>(std::calloc(1, sizeof(JpegWriter)));
    if (!w) {
        *error = "out of memory";
        return false;
    }
    InitErrors(&w->errors, &w->info.err);
    w->rowBytes = image.RowBytes();
    w->invert = image.model == ColourModel::Cmyk;
    w->row = static_cast<uint8_t*>(std::malloc(w->rowBytes));
    if (!w->row || !StartCompress(w, file, &image, quality)) {
        *error = std::string("cannot write JPEG: ") + (w->row ? w->errors.message : "out of memory");
        JpegCloseWrite(w, false, error);
        return false;
    }
    *out = w;
    return true;
}

bool JpegWriteRows(JpegWriter* w, uint32_t count, const uint8_t* band, std::string* error) {
    if (WriteScanlines(w, band, count)) return true;
    *error = std::string("cannot write JPEG: ") + w->errors.message;
    return false;
}

bool JpegCloseWrite(JpegWriter* w, bool complete, std::string* error) {
    bool ok = true;
    if (complete && !FinishCompress(w)) {
        *error = std::string("cannot write JPEG: ") + w->errors.message;
        ok = false;
    }
    jpeg_destroy_compress(&w->info);
    std::free(w->row);
    std::free(w);
    return ok;
}

}  // namespace tool

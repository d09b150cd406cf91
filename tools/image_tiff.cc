// TIFF through libtiff, by rows: gray, RGB, CMYK (separated, CMYK ink set)
// and CIE Lab, 8 or 16 bits, contiguous or planar, stripped or tiled, every
// page, with extra samples carried as they are. Contiguous strips are read
// a scanline at a time; planar strips and tiles a strip or a row of tiles
// at a time. Writing collects one strip (about 64 KiB per plane) at a time.
#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include <tiffio.h>
#include <unistd.h>

#include "image_formats.h"

namespace tool {

namespace {

// libtiff reports through process-wide handlers; the tool keeps the last
// message for its own one-line error.
thread_local char gTiffMessage[256];

void OnTiffError(const char* module, const char* format, va_list args) {
    char text[200];
    std::vsnprintf(text, sizeof text, format, args);
    std::snprintf(gTiffMessage, sizeof gTiffMessage, "%s%s%s", module ? module : "", module ? ": " : "", text);
}

// Warnings are quiet, except that a tag whose data lies past the end of
// the file (libtiff drops it with an "IO error" warning) means the file is
// cut short.
void OnTiffWarning(const char* module, const char* format, va_list args) {
    char text[200];
    std::vsnprintf(text, sizeof text, format, args);
    if (std::strstr(text, "IO error"))
        std::snprintf(gTiffMessage, sizeof gTiffMessage, "%s%s%s", module ? module : "", module ? ": " : "", text);
}

void InstallHandlers() {
    TIFFSetErrorHandler(OnTiffError);
    TIFFSetWarningHandler(OnTiffWarning);
    gTiffMessage[0] = 0;
}

std::string WithMessage(const std::string& what) {
    return what + (gTiffMessage[0] ? ": " : "") + gTiffMessage;
}

bool Writable(uint16_t compression) {
    return compression == COMPRESSION_NONE || compression == COMPRESSION_LZW ||
           compression == COMPRESSION_ADOBE_DEFLATE || compression == COMPRESSION_DEFLATE ||
           compression == COMPRESSION_PACKBITS;
}

size_t PlaneRowBytes(const ImageInfo& info) {
    return info.planar ? size_t(info.width) * info.SampleBytes() : info.RowBytes();
}

int Planes(const ImageInfo& info) { return info.planar ? info.Samples() : 1; }

// Sample `c` of pixel `i` in a band of `pixels` pixels.
size_t SampleAt(const ImageInfo& info, size_t pixels, size_t i, size_t c) {
    return info.planar ? c * pixels + i : i * size_t(info.Samples()) + c;
}

// CIE L*a*b* TIFF (signed a, b; 16-bit L over the full range) to ICC's
// encoding (`toIcc`), or back: a and b move their zero by half the range
// either way; a 16-bit L is rescaled.
void RecodeLab(const ImageInfo& info, uint8_t* band, uint32_t rows, bool toIcc) {
    const size_t pixels = size_t(info.width) * rows;
    for (size_t i = 0; i < pixels; ++i) {
        for (size_t c = 0; c < 3; ++c) {
            size_t at = SampleAt(info, pixels, i, c);
            if (info.bits == 8) {
                if (c) band[at] ^= 0x80;
                continue;
            }
            uint16_t v;
            std::memcpy(&v, &band[at * 2], 2);
            if (c) {
                v ^= 0x8000;
            } else if (toIcc) {
                v = uint16_t((uint32_t(v) * 65280 + 32767) / 65535);
            } else {
                uint32_t l = (uint32_t(v) * 65535 + 32640) / 65280;
                v = uint16_t(l > 65535 ? 65535 : l);
            }
            std::memcpy(&band[at * 2], &v, 2);
        }
    }
}

void InvertFirst(const ImageInfo& info, uint8_t* band, uint32_t rows) {
    const size_t pixels = size_t(info.width) * rows;
    for (size_t i = 0; i < pixels; ++i) {
        size_t at = SampleAt(info, pixels, i, 0);
        if (info.bits == 8) {
            band[at] = uint8_t(255 - band[at]);
        } else {
            uint16_t v;
            std::memcpy(&v, &band[at * 2], 2);
            v = uint16_t(65535 - v);
            std::memcpy(&band[at * 2], &v, 2);
        }
    }
}

}  // namespace

struct TiffReader {
    TIFF* tif = nullptr;
    ImageInfo page;
    uint16_t photometric = 0;
    bool byScanline = false;  // contiguous strips
    uint32_t next = 0;        // next row to deliver
    int pageIndex = 0;
    // Planar strips and tiles: decoded rows [blockFirst, blockFirst +
    // blockRows) of every plane, plane after plane.
    uint32_t blockHeight = 0, blockFirst = 0, blockRows = 0;
    bool blockValid = false;
    Bytes block, tile;
};

struct TiffWriter {
    TIFF* tif = nullptr;
    ImageInfo page;
    uint16_t asked = 0;  // --compression, or 0 to keep each input page's
    uint16_t compression = COMPRESSION_ADOBE_DEFLATE, predictor = PREDICTOR_NONE;
    int pageIndex = 0;
    uint32_t rowsPerStrip = 1, stripsPerPlane = 1, row = 0;
    Bytes strip;  // one strip of every plane, plane after plane
};

namespace {

bool ReadPageInfo(TiffReader* r, ImageInfo* image, std::string* error) {
    TIFF* tif = r->tif;
    const ImageFormat format = image->format;
    const int pages = image->pages;
    *image = ImageInfo();
    image->format = format;
    image->pages = pages;
    uint32_t width = 0, height = 0;
    uint16_t samples = 1, bits = 1, photometric = 0, planar = PLANARCONFIG_CONTIG, sampleFormat = SAMPLEFORMAT_UINT;
    uint16_t inkset = INKSET_CMYK;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &sampleFormat);
    TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &inkset);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &image->compression);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PREDICTOR, &image->predictor);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric)) photometric = PHOTOMETRIC_MINISBLACK;
    auto refuse = [&](const std::string& why) {
        *error = why;
        return false;
    };
    int colour = 0;
    switch (photometric) {
        case PHOTOMETRIC_MINISBLACK:
        case PHOTOMETRIC_MINISWHITE: image->model = ColourModel::Gray; colour = 1; break;
        case PHOTOMETRIC_RGB: image->model = ColourModel::Rgb; colour = 3; break;
        case PHOTOMETRIC_SEPARATED:
            if (inkset != INKSET_CMYK || samples < 4) return refuse("only CMYK separated TIFF images are supported");
            image->model = ColourModel::Cmyk;
            colour = 4;
            break;
        case PHOTOMETRIC_CIELAB:
        case PHOTOMETRIC_ICCLAB: image->model = ColourModel::Lab; colour = 3; break;
        default: return refuse("unsupported TIFF photometric interpretation " + std::to_string(photometric));
    }
    if (bits != 8 && bits != 16) return refuse("only 8 and 16 bits per sample are supported, not " + std::to_string(bits));
    if (sampleFormat != SAMPLEFORMAT_UINT && !(sampleFormat == SAMPLEFORMAT_INT && photometric == PHOTOMETRIC_CIELAB))
        return refuse("only unsigned integer samples are supported");
    if (samples < colour || samples > 16) return refuse("unsupported number of samples per pixel");
    if (width == 0 || height == 0) return refuse("unsupported image size");
    r->photometric = photometric;
    image->width = width;
    image->height = height;
    image->colour = colour;
    image->extra = samples - colour;
    image->bits = bits;
    image->planar = planar == PLANARCONFIG_SEPARATE && samples > 1;
    uint16_t extraCount = 0;
    uint16_t* extraTypes = nullptr;
    image->extraKinds.assign(size_t(image->extra), 0);
    if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes) && extraTypes)
        for (int i = 0; i < image->extra && i < extraCount; ++i) image->extraKinds[size_t(i)] = extraTypes[i];
    uint32_t length = 0;
    void* data = nullptr;
    if (TIFFGetField(tif, TIFFTAG_ICCPROFILE, &length, &data) && data && length)
        image->icc.assign(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + length);
    if (TIFFGetField(tif, TIFFTAG_XMLPACKET, &length, &data) && data && length)
        image->meta.xmp.assign(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + length);
    float x = 0, y = 0;
    uint16_t unit = RESUNIT_INCH, orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    if (TIFFGetField(tif, TIFFTAG_XRESOLUTION, &x) && TIFFGetField(tif, TIFFTAG_YRESOLUTION, &y) && x > 0 && y > 0 &&
        (unit == RESUNIT_INCH || unit == RESUNIT_CENTIMETER)) {
        image->meta.resolutionUnit = unit == RESUNIT_INCH ? 1 : 2;
        image->meta.xResolution = x;
        image->meta.yResolution = y;
    }
    if (TIFFGetField(tif, TIFFTAG_ORIENTATION, &orientation) && orientation >= 1 && orientation <= 8)
        image->meta.orientation = orientation;

    r->page = *image;
    r->next = 0;
    r->blockValid = false;
    r->byScanline = !TIFFIsTiled(tif) && !image->planar;
    if (TIFFIsTiled(tif)) {
        uint32_t tw = 0, th = 0;
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &th);
        tmsize_t tileSize = TIFFTileSize(tif);
        if (tw == 0 || th == 0 || tileSize <= 0) return refuse("bad tile layout");
        r->tile.resize(size_t(tileSize));
        r->blockHeight = th;
    } else if (image->planar) {
        uint32_t rowsPerStrip = height;
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        r->blockHeight = std::clamp<uint32_t>(rowsPerStrip, 1, height);
    }
    if (!r->byScanline) r->block.assign(size_t(Planes(*image)) * r->blockHeight * PlaneRowBytes(*image), 0);
    return true;
}

// Decodes the strip or row of tiles holding row `y` into the block.
bool LoadBlock(TiffReader* r, uint32_t y, std::string* error) {
    const ImageInfo& p = r->page;
    const uint32_t h = r->blockHeight, first = y / h * h, rows = std::min(h, p.height - first);
    const size_t rowBytes = PlaneRowBytes(p);
    for (int plane = 0; plane < Planes(p); ++plane) {
        uint8_t* base = r->block.data() + size_t(plane) * h * rowBytes;
        if (!TIFFIsTiled(r->tif)) {
            const uint32_t stripsPerPlane = (p.height + h - 1) / h;
            tmsize_t want = tmsize_t(rows * rowBytes);
            if (TIFFReadEncodedStrip(r->tif, uint32_t(plane) * stripsPerPlane + first / h, base, want) < want) {
                *error = WithMessage("cannot read the image data");
                return false;
            }
            continue;
        }
        uint32_t tw = 0;
        TIFFGetField(r->tif, TIFFTAG_TILEWIDTH, &tw);
        const size_t pixelBytes = p.planar ? p.SampleBytes() : size_t(p.Samples()) * p.SampleBytes();
        for (uint32_t x = 0; x < p.width; x += tw) {
            if (TIFFReadTile(r->tif, r->tile.data(), x, first, 0, uint16_t(plane)) < 0) {
                *error = WithMessage("cannot read a tile");
                return false;
            }
            const uint32_t w = std::min(tw, p.width - x);
            for (uint32_t row = 0; row < rows; ++row)
                std::memcpy(base + row * rowBytes + x * pixelBytes, r->tile.data() + size_t(row) * tw * pixelBytes,
                            w * pixelBytes);
        }
    }
    r->blockFirst = first;
    r->blockRows = rows;
    r->blockValid = true;
    return true;
}

// Fields of one page.
void SetPageFields(TiffWriter* w, int pages) {
    TIFF* tif = w->tif;
    const ImageInfo& image = w->page;
    w->compression = COMPRESSION_ADOBE_DEFLATE;
    w->predictor = PREDICTOR_NONE;
    if (w->asked) {
        w->compression = w->asked;
    } else if (image.format == ImageFormat::Tiff && Writable(image.compression)) {
        w->compression = image.compression;
        if (image.predictor == PREDICTOR_HORIZONTAL && w->compression != COMPRESSION_NONE &&
            w->compression != COMPRESSION_PACKBITS)
            w->predictor = PREDICTOR_HORIZONTAL;
    }
    uint16_t photometric = PHOTOMETRIC_MINISBLACK;
    switch (image.model) {
        case ColourModel::Gray: photometric = PHOTOMETRIC_MINISBLACK; break;
        case ColourModel::Rgb: photometric = PHOTOMETRIC_RGB; break;
        case ColourModel::Cmyk: photometric = PHOTOMETRIC_SEPARATED; break;
        case ColourModel::Lab: photometric = PHOTOMETRIC_CIELAB; break;
    }
    const uint16_t samples = uint16_t(image.Samples());
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, image.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, image.height);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(image.bits));
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric);
    if (image.model == ColourModel::Cmyk) TIFFSetField(tif, TIFFTAG_INKSET, INKSET_CMYK);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, image.planar ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, w->compression);
    if (w->predictor != PREDICTOR_NONE) TIFFSetField(tif, TIFFTAG_PREDICTOR, w->predictor);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, image.meta.orientation);
    if (image.extra > 0) {
        std::vector<uint16_t> kinds(image.extraKinds);
        kinds.resize(size_t(image.extra), 0);
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, uint16_t(kinds.size()), kinds.data());
    }
    if (!image.icc.empty()) TIFFSetField(tif, TIFFTAG_ICCPROFILE, uint32_t(image.icc.size()), image.icc.data());
    if (!image.meta.xmp.empty())
        TIFFSetField(tif, TIFFTAG_XMLPACKET, uint32_t(image.meta.xmp.size()), image.meta.xmp.data());
    const Metadata& m = image.meta;
    if (m.resolutionUnit && m.xResolution > 0 && m.yResolution > 0) {
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, uint16_t(m.resolutionUnit == 1 ? RESUNIT_INCH : RESUNIT_CENTIMETER));
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, float(m.xResolution));
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, float(m.yResolution));
    }
    if (pages > 1) {
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(tif, TIFFTAG_PAGENUMBER, uint16_t(w->pageIndex), uint16_t(pages));
    }
    // Strips of about 64 KiB, of a height that divides the image's when one
    // is near: some readers mishandle a short last strip.
    const size_t rowBytes = PlaneRowBytes(image);
    uint32_t target = std::max<uint32_t>(1, uint32_t(65536 / std::max<size_t>(rowBytes, 1)));
    uint32_t rowsPerStrip = std::min(target, image.height);
    for (uint32_t r = rowsPerStrip; r >= std::max<uint32_t>(1, rowsPerStrip / 4); --r)
        if (image.height % r == 0) {
            rowsPerStrip = r;
            break;
        }
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    w->rowsPerStrip = rowsPerStrip;
    w->stripsPerPlane = (image.height + rowsPerStrip - 1) / rowsPerStrip;
    w->row = 0;
    w->strip.assign(size_t(Planes(image)) * rowsPerStrip * rowBytes, 0);
}

bool FlushStrip(TiffWriter* w, uint32_t rows, std::string* error) {
    const ImageInfo& p = w->page;
    const size_t rowBytes = PlaneRowBytes(p);
    const uint32_t index = (w->row - 1) / w->rowsPerStrip;
    if (p.model == ColourModel::Lab) {
        // Planes sit a whole strip apart, whatever its rows in use.
        RecodeLab(p, w->strip.data(), p.planar ? w->rowsPerStrip : rows, false);
    }
    for (int plane = 0; plane < Planes(p); ++plane) {
        uint8_t* base = w->strip.data() + size_t(plane) * w->rowsPerStrip * rowBytes;
        if (TIFFWriteEncodedStrip(w->tif, uint32_t(plane) * w->stripsPerPlane + index, base,
                                  tmsize_t(rows * rowBytes)) < 0) {
            *error = WithMessage("cannot write");
            return false;
        }
    }
    return true;
}

}  // namespace

bool TiffOpenRead(int fd, const std::string& name, TiffReader** out, ImageInfo* info, std::string* error) {
    InstallHandlers();
    // "m": no memory map. A mapped file counts in the resident memory as it
    // is read, so a large input would look as large as the image.
    TIFF* tif = TIFFFdOpen(fd, name.c_str(), "rm");
    if (!tif) {
        close(fd);
        *error = WithMessage("not a readable TIFF");
        return false;
    }
    auto* r = new TiffReader;
    r->tif = tif;
    info->format = ImageFormat::Tiff;
    if (gTiffMessage[0]) {
        *error = WithMessage("the file is cut short");
        TiffCloseRead(r);
        return false;
    }
    info->pages = int(std::min<tdir_t>(TIFFNumberOfDirectories(tif), 65535));
    if (!ReadPageInfo(r, info, error)) {
        TiffCloseRead(r);
        return false;
    }
    *out = r;
    return true;
}

bool TiffReadRows(TiffReader* r, uint32_t count, uint8_t* band, std::string* error) {
    const ImageInfo& p = r->page;
    if (count > p.height - r->next) {
        *error = "read past the last row";
        return false;
    }
    const size_t rowBytes = PlaneRowBytes(p);
    gTiffMessage[0] = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t y = r->next + i;
        if (r->byScanline) {
            if (TIFFReadScanline(r->tif, band + i * rowBytes, y, 0) < 0) {
                *error = WithMessage("cannot read the image data");
                return false;
            }
            continue;
        }
        if (!r->blockValid || y < r->blockFirst || y >= r->blockFirst + r->blockRows)
            if (!LoadBlock(r, y, error)) return false;
        for (int plane = 0; plane < Planes(p); ++plane)
            std::memcpy(band + (size_t(plane) * count + i) * rowBytes,
                        r->block.data() + (size_t(plane) * r->blockHeight + (y - r->blockFirst)) * rowBytes, rowBytes);
    }
    r->next += count;
    if (r->photometric == PHOTOMETRIC_MINISWHITE) InvertFirst(p, band, count);
    if (r->photometric == PHOTOMETRIC_CIELAB) RecodeLab(p, band, count, true);
    return true;
}

bool TiffNextPage(TiffReader* r, ImageInfo* info, std::string* error) {
    if (TIFFLastDirectory(r->tif)) return false;
    gTiffMessage[0] = 0;
    if (!TIFFReadDirectory(r->tif) || gTiffMessage[0]) {
        // A page is announced but cannot be read whole: the file is cut short.
        *error = WithMessage("cannot read page " + std::to_string(r->pageIndex + 2));
        return false;
    }
    info->format = ImageFormat::Tiff;
    info->pages = r->page.pages;
    ++r->pageIndex;
    return ReadPageInfo(r, info, error);
}

void TiffCloseRead(TiffReader* r) {
    if (r->tif) TIFFClose(r->tif);
    delete r;
}

bool TiffOpenWrite(int fd, const std::string& name, const ImageInfo& info, uint16_t compression, TiffWriter** out,
                   std::string* error) {
    InstallHandlers();
    // BigTIFF when the samples alone come near classic TIFF's 4 GiB.
    const double bytes = double(info.PixelCount()) * info.Samples() * info.SampleBytes() * std::max(info.pages, 1);
    TIFF* tif = TIFFFdOpen(fd, name.c_str(), bytes > 3.5e9 ? "w8" : "w");
    if (!tif) {
        close(fd);
        *error = WithMessage("cannot write");
        return false;
    }
    auto* w = new TiffWriter;
    w->tif = tif;
    w->page = info;
    w->asked = compression;
    SetPageFields(w, info.pages);
    *out = w;
    return true;
}

bool TiffWriteRows(TiffWriter* w, uint32_t count, const uint8_t* band, std::string* error) {
    const ImageInfo& p = w->page;
    const size_t rowBytes = PlaneRowBytes(p);
    if (count > p.height - w->row) {
        *error = "more rows than the image has";
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t inStrip = w->row % w->rowsPerStrip;
        for (int plane = 0; plane < Planes(p); ++plane)
            std::memcpy(w->strip.data() + (size_t(plane) * w->rowsPerStrip + inStrip) * rowBytes,
                        band + (size_t(plane) * count + i) * rowBytes, rowBytes);
        ++w->row;
        if ((inStrip + 1 == w->rowsPerStrip || w->row == p.height) && !FlushStrip(w, inStrip + 1, error))
            return false;
    }
    return true;
}

bool TiffNextPage(TiffWriter* w, const ImageInfo& info, std::string* error) {
    if (w->row != w->page.height || !TIFFWriteDirectory(w->tif)) {
        *error = WithMessage("cannot write the page");
        return false;
    }
    const int pages = w->page.pages;
    w->page = info;
    w->page.pages = pages;
    ++w->pageIndex;
    SetPageFields(w, pages);
    return true;
}

bool TiffCloseWrite(TiffWriter* w, bool complete, std::string* error) {
    bool ok = true;
    if (complete && (w->row != w->page.height || TIFFFlush(w->tif) != 1)) {
        *error = WithMessage("cannot write");
        ok = false;
    }
    TIFFClose(w->tif);
    delete w;
    return ok;
}

}  // namespace tool

// TIFF through libtiff: gray, RGB, CMYK (separated, CMYK ink set) and CIE
// Lab, 8 or 16 bits, contiguous or planar, stripped or tiled, with extra
// samples carried as they are.
#include <cerrno>
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include <tiffio.h>

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

void OnTiffWarning(const char*, const char*, va_list) {}

void InstallHandlers() {
    TIFFSetErrorHandler(OnTiffError);
    TIFFSetWarningHandler(OnTiffWarning);
    gTiffMessage[0] = 0;
}

// CIE L*a*b* TIFF (signed a, b; 16-bit L over the full range) to ICC's
// encoding, and back: a and b move their zero by half the range either way;
// a 16-bit L is rescaled by `lightness`.
template <typename Lightness>
void RecodeLab(Image* image, Lightness lightness) {
    const size_t pixels = image->PixelCount(), samples = size_t(image->Samples());
    for (size_t i = 0; i < pixels; ++i) {
        for (size_t c = 0; c < 3; ++c) {
            size_t at = image->planar ? c * pixels + i : i * samples + c;
            if (image->bits == 8) {
                if (c) image->pixels[at] ^= 0x80;
            } else {
                uint16_t v;
                std::memcpy(&v, &image->pixels[at * 2], 2);
                v = c ? uint16_t(v ^ 0x8000) : lightness(v);
                std::memcpy(&image->pixels[at * 2], &v, 2);
            }
        }
    }
}

void CieToIcc(Image* image) {
    RecodeLab(image, [](uint16_t v) { return uint16_t((uint32_t(v) * 65280 + 32767) / 65535); });
}

void IccToCie(Image* image) {
    RecodeLab(image, [](uint16_t v) {
        uint32_t l = (uint32_t(v) * 65535 + 32640) / 65280;
        return uint16_t(l > 65535 ? 65535 : l);
    });
}

bool ReadTiles(TIFF* tif, Image* image, std::string* error) {
    uint32_t tw = 0, th = 0;
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &th);
    tmsize_t tileSize = TIFFTileSize(tif);
    if (tw == 0 || th == 0 || tileSize <= 0) {
        *error = "bad tile layout";
        return false;
    }
    Bytes tile(static_cast<size_t>(tileSize));
    const size_t s = image->SampleBytes();
    const int planes = image->planar ? image->Samples() : 1;
    const size_t pixelBytes = image->planar ? s : size_t(image->Samples()) * s;
    for (int plane = 0; plane < planes; ++plane) {
        uint8_t* base = image->pixels.data() + (image->planar ? size_t(plane) * image->PlaneBytes() : 0);
        for (uint32_t y = 0; y < image->height; y += th) {
            for (uint32_t x = 0; x < image->width; x += tw) {
                if (TIFFReadTile(tif, tile.data(), x, y, 0, uint16_t(plane)) < 0) {
                    *error = std::string("cannot read a tile: ") + gTiffMessage;
                    return false;
                }
                uint32_t w = std::min(tw, image->width - x), h = std::min(th, image->height - y);
                for (uint32_t r = 0; r < h; ++r)
                    std::memcpy(base + ((size_t(y) + r) * image->width + x) * pixelBytes,
                                tile.data() + size_t(r) * tw * pixelBytes, w * pixelBytes);
            }
        }
    }
    return true;
}

bool ReadStrips(TIFF* tif, Image* image, std::string* error) {
    uint32_t rowsPerStrip = image->height;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    if (rowsPerStrip == 0 || rowsPerStrip > image->height) rowsPerStrip = image->height;
    const size_t s = image->SampleBytes();
    const int planes = image->planar ? image->Samples() : 1;
    const size_t rowBytes = image->planar ? size_t(image->width) * s : image->RowBytes();
    const uint32_t stripsPerPlane = (image->height + rowsPerStrip - 1) / rowsPerStrip;
    for (int plane = 0; plane < planes; ++plane) {
        uint8_t* base = image->pixels.data() + (image->planar ? size_t(plane) * image->PlaneBytes() : 0);
        for (uint32_t strip = 0; strip < stripsPerPlane; ++strip) {
            uint32_t rows = std::min(rowsPerStrip, image->height - strip * rowsPerStrip);
            tmsize_t want = tmsize_t(rows * rowBytes);
            tmsize_t got = TIFFReadEncodedStrip(tif, uint32_t(plane) * stripsPerPlane + strip,
                                                base + size_t(strip) * rowsPerStrip * rowBytes, want);
            if (got < want) {
                *error = std::string("cannot read the image data") + (gTiffMessage[0] ? ": " : "") + gTiffMessage;
                return false;
            }
        }
    }
    return true;
}

}  // namespace

bool ReadTiff(const std::string& path, Image* image, std::string* error) {
    InstallHandlers();
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif) {
        *error = std::string("not a readable TIFF") + (gTiffMessage[0] ? ": " : "") + gTiffMessage;
        return false;
    }
    uint32_t width = 0, height = 0;
    uint16_t samples = 1, bits = 1, photometric = 0, planar = PLANARCONFIG_CONTIG, format = SAMPLEFORMAT_UINT;
    uint16_t inkset = INKSET_CMYK;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &inkset);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric)) photometric = PHOTOMETRIC_MINISBLACK;
    auto refuse = [&](const std::string& why) {
        *error = why;
        TIFFClose(tif);
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
    if (format != SAMPLEFORMAT_UINT && !(format == SAMPLEFORMAT_INT && photometric == PHOTOMETRIC_CIELAB))
        return refuse("only unsigned integer samples are supported");
    if (samples < colour || samples > 16) return refuse("unsupported number of samples per pixel");
    if (width == 0 || height == 0 || uint64_t(width) * height > (uint64_t(1) << 31))
        return refuse("unsupported image size");
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
    uint32_t iccLength = 0;
    void* icc = nullptr;
    if (TIFFGetField(tif, TIFFTAG_ICCPROFILE, &iccLength, &icc) && icc && iccLength)
        image->icc.assign(static_cast<uint8_t*>(icc), static_cast<uint8_t*>(icc) + iccLength);
    image->pixels.assign(image->PixelCount() * size_t(samples) * image->SampleBytes(), 0);
    bool ok = TIFFIsTiled(tif) ? ReadTiles(tif, image, error) : ReadStrips(tif, image, error);
    TIFFClose(tif);
    if (!ok) return false;
    if (photometric == PHOTOMETRIC_MINISWHITE) {
        for (size_t i = 0; i < image->PixelCount(); ++i) {
            size_t at = image->planar ? i : i * size_t(samples);
            if (bits == 8) {
                image->pixels[at] = uint8_t(255 - image->pixels[at]);
            } else {
                uint16_t v;
                std::memcpy(&v, &image->pixels[at * 2], 2);
                v = uint16_t(65535 - v);
                std::memcpy(&image->pixels[at * 2], &v, 2);
            }
        }
    }
    if (photometric == PHOTOMETRIC_CIELAB) CieToIcc(image);
    return true;
}

bool WriteTiff(const std::string& path, const Image& source, std::string* error) {
    InstallHandlers();
    const Image* image = &source;
    Image lab;
    if (source.model == ColourModel::Lab) {
        lab = source;
        IccToCie(&lab);
        image = &lab;
    }
    errno = 0;
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (!tif) {
        *error = std::string("cannot write: ") + (errno ? std::strerror(errno) : "cannot create the file");
        return false;
    }
    uint16_t photometric = PHOTOMETRIC_MINISBLACK;
    switch (image->model) {
        case ColourModel::Gray: photometric = PHOTOMETRIC_MINISBLACK; break;
        case ColourModel::Rgb: photometric = PHOTOMETRIC_RGB; break;
        case ColourModel::Cmyk: photometric = PHOTOMETRIC_SEPARATED; break;
        case ColourModel::Lab: photometric = PHOTOMETRIC_CIELAB; break;
    }
    const uint16_t samples = uint16_t(image->Samples());
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, image->width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, image->height);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(image->bits));
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric);
    if (image->model == ColourModel::Cmyk) TIFFSetField(tif, TIFFTAG_INKSET, INKSET_CMYK);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, image->planar ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    if (image->extra > 0) {
        std::vector<uint16_t> kinds(image->extraKinds);
        kinds.resize(size_t(image->extra), 0);
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, uint16_t(kinds.size()), kinds.data());
    }
    if (!image->icc.empty()) TIFFSetField(tif, TIFFTAG_ICCPROFILE, uint32_t(image->icc.size()), image->icc.data());
    const size_t rowBytes = image->planar ? size_t(image->width) * image->SampleBytes() : image->RowBytes();
    // Strips of about 64 KiB, of a height that divides the image's when one
    // is near: some readers mishandle a short last strip.
    uint32_t target = std::max<uint32_t>(1, uint32_t(65536 / std::max<size_t>(rowBytes, 1)));
    uint32_t rowsPerStrip = std::min(target, image->height);
    for (uint32_t r = rowsPerStrip; r >= std::max<uint32_t>(1, rowsPerStrip / 4); --r)
        if (image->height % r == 0) {
            rowsPerStrip = r;
            break;
        }
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    const int planes = image->planar ? samples : 1;
    bool ok = true;
    for (int plane = 0; plane < planes && ok; ++plane) {
        const uint8_t* base = image->pixels.data() + (image->planar ? size_t(plane) * image->PlaneBytes() : 0);
        for (uint32_t y = 0; y < image->height && ok; ++y)
            ok = TIFFWriteScanline(tif, const_cast<uint8_t*>(base + y * rowBytes), y, uint16_t(plane)) >= 0;
    }
    if (ok) ok = TIFFFlush(tif) == 1;
    TIFFClose(tif);
    if (!ok) *error = std::string("cannot write") + (gTiffMessage[0] ? ": " : "") + gTiffMessage;
    return ok;
}

}  // namespace tool

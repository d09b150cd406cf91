#include "image_io.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "image_formats.h"

namespace tool {

namespace {

std::string LowerExtension(const std::string& path) {
    size_t dot = path.rfind('.');
    size_t slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string e;
    for (char c : path.substr(dot + 1)) e += char(std::tolower(static_cast<unsigned char>(c)));
    return e;
}

}  // namespace

ImageFormat FormatFromName(const std::string& path) {
    std::string e = LowerExtension(path);
    if (e == "png") return ImageFormat::Png;
    if (e == "tif" || e == "tiff") return ImageFormat::Tiff;
    if (e == "jpg" || e == "jpeg") return ImageFormat::Jpeg;
    return ImageFormat::Unknown;
}

const char* ModelWords(ColourModel model) {
    switch (model) {
        case ColourModel::Gray: return "gray";
        case ColourModel::Rgb: return "RGB";
        case ColourModel::Cmyk: return "CMYK";
        case ColourModel::Lab: return "Lab";
    }
    return "?";
}

TntSignature ModelSpace(ColourModel model) {
    switch (model) {
        case ColourModel::Gray: return TNT_SIG('G', 'R', 'A', 'Y');
        case ColourModel::Rgb: return TNT_SIG('R', 'G', 'B', ' ');
        case ColourModel::Cmyk: return TNT_SIG('C', 'M', 'Y', 'K');
        case ColourModel::Lab: return TNT_SIG('L', 'a', 'b', ' ');
    }
    return 0;
}

bool ModelForSpace(TntSignature space, ColourModel* model) {
    switch (space) {
        case TNT_SIG('G', 'R', 'A', 'Y'): *model = ColourModel::Gray; return true;
        case TNT_SIG('R', 'G', 'B', ' '): *model = ColourModel::Rgb; return true;
        case TNT_SIG('C', 'M', 'Y', 'K'): *model = ColourModel::Cmyk; return true;
        case TNT_SIG('L', 'a', 'b', ' '): *model = ColourModel::Lab; return true;
        default: return false;
    }
}

int ModelChannels(ColourModel model) {
    switch (model) {
        case ColourModel::Gray: return 1;
        case ColourModel::Rgb:
        case ColourModel::Lab: return 3;
        case ColourModel::Cmyk: return 4;
    }
    return 0;
}

bool ReadImage(const std::string& path, Image* image, std::string* error) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        *error = std::string("cannot open: ") + std::strerror(errno);
        return false;
    }
    uint8_t magic[8] = {};
    size_t n = std::fread(magic, 1, sizeof magic, f);
    std::fclose(f);
    *image = Image();
    if (n >= 8 && !std::memcmp(magic, "\x89PNG\r\n\x1a\n", 8)) return ReadPng(path, image, error);
    if (n >= 4 && (!std::memcmp(magic, "II*\0", 4) || !std::memcmp(magic, "MM\0*", 4)))
        return ReadTiff(path, image, error);
    if (n >= 3 && magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF) return ReadJpeg(path, image, error);
    *error = "not a PNG, TIFF or JPEG image";
    return false;
}

bool CanWrite(ImageFormat format, const Image& image, std::string* why) {
    switch (format) {
        case ImageFormat::Png:
            if (image.model != ColourModel::Gray && image.model != ColourModel::Rgb) {
                *why = std::string("PNG cannot hold ") + ModelWords(image.model) + " images; write a TIFF";
                return false;
            }
            if (image.extra > 1) {
                *why = "PNG holds at most one extra channel (alpha); write a TIFF";
                return false;
            }
            return true;
        case ImageFormat::Jpeg:
            if (image.model == ColourModel::Lab) {
                *why = "JPEG cannot hold Lab images; write a TIFF";
                return false;
            }
            if (image.extra > 0) {
                *why = "JPEG cannot hold alpha or other extra channels; write a TIFF or PNG";
                return false;
            }
            if (image.bits != 8) {
                *why = "JPEG holds 8-bit samples only; write a TIFF or PNG";
                return false;
            }
            return true;
        case ImageFormat::Tiff: return true;
        case ImageFormat::Unknown: *why = "unknown image type (use .png, .tif, .tiff, .jpg or .jpeg)"; return false;
    }
    return false;
}

bool FinishWrite(bool written, std::FILE* file, const char* format, const std::string& message,
                 std::string* error) {
    const bool closed = std::fclose(file) == 0;
    if (!written) {
        *error = std::string("cannot write ") + format + ": " + message;
        return false;
    }
    if (!closed) {
        *error = std::string("cannot write: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool WriteImage(const std::string& path, const Image& image, std::string* error) {
    ImageFormat format = FormatFromName(path);
    if (!CanWrite(format, image, error)) return false;
    std::string temp = TempNameFor(path);
    bool ok = false;
    if (format == ImageFormat::Tiff) {
        ok = WriteTiff(temp, image, error);
    } else {
        const Image* source = &image;
        Image interleaved;
        if (image.planar) {
            interleaved = image;
            Interleave(&interleaved);
            source = &interleaved;
        }
        ok = format == ImageFormat::Png ? WritePng(temp, *source, error) : WriteJpeg(temp, *source, error);
    }
    if (!ok) {
        std::remove(temp.c_str());
        return false;
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        *error = std::string("cannot write: ") + std::strerror(errno);
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

void Interleave(Image* image) {
    if (!image->planar) return;
    const size_t s = image->SampleBytes(), pixels = image->PixelCount(), samples = size_t(image->Samples());
    Bytes out(image->pixels.size());
    for (size_t c = 0; c < samples; ++c) {
        const uint8_t* plane = image->pixels.data() + c * pixels * s;
        for (size_t i = 0; i < pixels; ++i) std::memcpy(&out[(i * samples + c) * s], plane + i * s, s);
    }
    image->pixels.swap(out);
    image->planar = false;
}

void MakePlanar(Image* image) {
    if (image->planar) return;
    const size_t s = image->SampleBytes(), pixels = image->PixelCount(), samples = size_t(image->Samples());
    Bytes out(image->pixels.size());
    for (size_t c = 0; c < samples; ++c) {
        uint8_t* plane = out.data() + c * pixels * s;
        for (size_t i = 0; i < pixels; ++i) std::memcpy(plane + i * s, &image->pixels[(i * samples + c) * s], s);
    }
    image->pixels.swap(out);
    image->planar = true;
}

}  // namespace tool

// Reading and writing PNG, TIFF and JPEG images with their embedded ICC
// profiles, through libpng, libtiff and libjpeg.
//
// In memory an image is one block of samples: 8-bit samples as bytes,
// 16-bit samples as host-order uint16_t. Interleaved images keep rows of
// pixels (colour channels, then extra channels); planar ones (TIFF only)
// keep one plane per channel, one after another. Lab samples follow ICC's
// encoding whatever the file used: 8-bit L 0..255 for 0..100 and a, b with
// 128 for 0; 16-bit L 0..65280 for 0..100 and a, b with 32768 for 0.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common.h"

namespace tool {

enum class ColourModel { Gray, Rgb, Cmyk, Lab };

struct Image {
    uint32_t width = 0;
    uint32_t height = 0;
    ColourModel model = ColourModel::Rgb;
    int colour = 3;  // colour channels
    int extra = 0;   // extra channels (alpha and others) after them
    // What each extra is, in TIFF's terms (0 unspecified, 1 associated
    // alpha, 2 unassociated alpha).
    std::vector<uint16_t> extraKinds;
    int bits = 8;  // 8 or 16
    bool planar = false;
    Bytes pixels;
    Bytes icc;  // embedded profile, empty when none

    int Samples() const { return colour + extra; }
    size_t SampleBytes() const { return size_t(bits / 8); }
    size_t PixelCount() const { return size_t(width) * height; }
    size_t RowBytes() const { return size_t(width) * size_t(Samples()) * SampleBytes(); }
    size_t PlaneBytes() const { return PixelCount() * SampleBytes(); }
};

enum class ImageFormat { Unknown, Png, Tiff, Jpeg };

// From the file name's extension (.png, .tif/.tiff, .jpg/.jpeg).
ImageFormat FormatFromName(const std::string& path);
const char* ModelWords(ColourModel model);
TntSignature ModelSpace(ColourModel model);
// The image model for a colour space signature; false for spaces no image
// format here holds.
bool ModelForSpace(TntSignature space, ColourModel* model);
int ModelChannels(ColourModel model);

// Reads the file (its format from its first bytes). On failure `error` says
// why in a few words.
bool ReadImage(const std::string& path, Image* image, std::string* error);
// Writes the image in the format its name asks for, under a temporary name
// that is renamed into place only when complete.
bool WriteImage(const std::string& path, const Image& image, std::string* error);
// Whether `format` can hold the image (model, depth, extras); why not.
bool CanWrite(ImageFormat format, const Image& image, std::string* why);

// Converts a planar image to interleaved samples, and back.
void Interleave(Image* image);
void MakePlanar(Image* image);

}  // namespace tool

// Reading and writing PNG, TIFF and JPEG images by bands of rows, with their
// embedded ICC profiles and metadata, through libpng, libtiff and libjpeg.
// Memory stays at a few bands whatever the image size.
//
// A band is `rows` whole rows. 8-bit samples are bytes, 16-bit samples
// host-order uint16_t. An interleaved band keeps rows of pixels (colour
// channels, then extra channels); a planar band (TIFF only) keeps, for each
// channel in turn, its `rows` rows of samples. Lab samples follow ICC's
// encoding whatever the file used: 8-bit L 0..255 for 0..100 and a, b with
// 128 for 0; 16-bit L 0..65280 for 0..100 and a, b with 32768 for 0. Gray
// is light (0 black) as in the files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common.h"

namespace tool {

enum class ColourModel { Gray, Rgb, Cmyk, Lab };
enum class ImageFormat { Unknown, Png, Tiff, Jpeg };

// What travels beside the pixels.
struct Metadata {
    Bytes exif;  // the EXIF block as JPEG's APP1 and PNG's eXIf hold it, from its TIFF header on
    Bytes xmp;   // the XMP packet
    // Pixel density; unit 0 when unknown (or an aspect ratio only), 1 per
    // inch, 2 per centimetre.
    int resolutionUnit = 0;
    double xResolution = 0, yResolution = 0;
    // 1 to 8 as TIFF and EXIF count it (1: rows top to bottom, columns left
    // to right). Kept, not applied: the samples stay in stored order.
    uint16_t orientation = 1;
};

struct ImageInfo {
    ImageFormat format = ImageFormat::Unknown;
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
    Bytes icc;  // embedded profile, empty when none
    Metadata meta;
    uint16_t compression = 0;  // TIFF's compression code of a TIFF input
    uint16_t predictor = 1;    // TIFF's predictor of a TIFF input
    int pages = 1;             // pages of a TIFF input

    int Samples() const { return colour + extra; }
    size_t SampleBytes() const { return size_t(bits / 8); }
    size_t PixelCount() const { return size_t(width) * height; }
    size_t RowBytes() const { return size_t(width) * size_t(Samples()) * SampleBytes(); }
    size_t BandBytes(uint32_t rows) const { return RowBytes() * rows; }
};

// How a writer stores its pixels.
struct WriteOptions {
    ImageFormat format = ImageFormat::Unknown;
    // TIFF's compression code; 0 keeps the input's when TIFF can write it
    // (else Deflate).
    uint16_t compression = 0;
    int quality = 95;  // JPEG quality, 1 to 100
};

// From the file name's extension (.png, .tif/.tiff, .jpg/.jpeg).
ImageFormat FormatFromName(const std::string& path);
// "png", "tiff" or "jpeg" as given to --format; Unknown otherwise.
ImageFormat FormatFromWord(const std::string& word);
const char* ModelWords(ColourModel model);
TntSignature ModelSpace(ColourModel model);
// The image model for a colour space signature; false for spaces no image
// format here holds.
bool ModelForSpace(TntSignature space, ColourModel* model);
int ModelChannels(ColourModel model);
// Whether `format` can hold the image (model, depth, extras, pages); why not.
bool CanWrite(ImageFormat format, const ImageInfo& image, std::string* why);

// Readers. "-" reads standard input. Errors say why in a few words; a
// truncated or corrupt file is an error, never a partly grey image.
struct ImageReader;
bool OpenReader(const std::string& path, ImageReader** reader, ImageInfo* info, std::string* error);
// The next `rows` rows of the current page, in the page's layout.
bool ReadRows(ImageReader* reader, uint32_t rows, uint8_t* band, std::string* error);
// Moves to the next page of a multi-page TIFF; false (and no error) after
// the last page.
bool NextPage(ImageReader* reader, ImageInfo* info, std::string* error);
void CloseReader(ImageReader* reader);

// Writers. A file is written under a temporary name beside it and renamed
// into place by FinishWriter; any failure, AbortWriter or an interrupting
// signal leaves nothing behind. "-" writes standard output.
struct ImageWriter;
bool OpenWriter(const std::string& path, const ImageInfo& info, const WriteOptions& options, ImageWriter** writer,
                std::string* error);
// Rows in the layout of `info` as opened (or as given to NextWriterPage).
bool WriteRows(ImageWriter* writer, uint32_t rows, const uint8_t* band, std::string* error);
// Starts another page (TIFF only).
bool NextWriterPage(ImageWriter* writer, const ImageInfo& info, std::string* error);
bool FinishWriter(ImageWriter* writer, std::string* error);
void AbortWriter(ImageWriter* writer);

// A planar band to interleaved samples, and back (`rows` rows of `info`).
void InterleaveBand(const ImageInfo& info, uint32_t rows, const uint8_t* planar, uint8_t* interleaved);
void PlanarizeBand(const ImageInfo& info, uint32_t rows, const uint8_t* interleaved, uint8_t* planar);

// Rows per band for streaming: about a megapixel, at least one row.
uint32_t BandRows(const ImageInfo& info);

}  // namespace tool

#include "image_io.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

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

std::string Errno(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

// Standard input copied into an unnamed temporary file, so that every
// reader can seek (TIFF must) and the format can be told from its start.
std::FILE* SpoolStdin(std::string* error) {
    std::FILE* spool = std::tmpfile();
    if (!spool) {
        *error = Errno("cannot make a temporary file for standard input");
        return nullptr;
    }
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) {
        if (std::fwrite(buffer, 1, n, spool) != n) {
            *error = Errno("cannot spool standard input");
            std::fclose(spool);
            return nullptr;
        }
    }
    if (std::ferror(stdin) || std::fflush(spool) != 0) {
        *error = Errno("cannot read standard input");
        std::fclose(spool);
        return nullptr;
    }
    std::rewind(spool);
    return spool;
}

}  // namespace

ImageFormat FormatFromName(const std::string& path) { return FormatFromWord(LowerExtension(path)); }

ImageFormat FormatFromWord(const std::string& word) {
    if (word == "png") return ImageFormat::Png;
    if (word == "tif" || word == "tiff") return ImageFormat::Tiff;
    if (word == "jpg" || word == "jpeg") return ImageFormat::Jpeg;
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

bool CanWrite(ImageFormat format, const ImageInfo& image, std::string* why) {
    if (format != ImageFormat::Tiff && format != ImageFormat::Unknown && image.pages > 1) {
        *why = "the image has " + std::to_string(image.pages) + " pages and only TIFF holds more than one; write a TIFF";
        return false;
    }
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

// ------------------------------------------------------------------ readers

struct ImageReader {
    ImageFormat format = ImageFormat::Unknown;
    std::FILE* file = nullptr;
    PngReader* png = nullptr;
    JpegReader* jpeg = nullptr;
    TiffReader* tiff = nullptr;
};

bool OpenReader(const std::string& path, ImageReader** out, ImageInfo* info, std::string* error) {
    *info = ImageInfo();
    std::FILE* file = path == "-" ? SpoolStdin(error) : std::fopen(path.c_str(), "rb");
    if (!file) {
        if (path != "-") *error = Errno("cannot open");
        return false;
    }
    uint8_t magic[8] = {};
    size_t n = std::fread(magic, 1, sizeof magic, file);
    std::rewind(file);
    auto* r = new ImageReader;
    r->file = file;
    bool ok = false;
    if (n >= 8 && !std::memcmp(magic, "\x89PNG\r\n\x1a\n", 8)) {
        r->format = ImageFormat::Png;
        ok = PngOpenRead(file, &r->png, info, error);
    } else if (n >= 4 && (!std::memcmp(magic, "II*\0", 4) || !std::memcmp(magic, "MM\0*", 4) ||
                          !std::memcmp(magic, "II+\0", 4) || !std::memcmp(magic, "MM\0+", 4))) {
        r->format = ImageFormat::Tiff;
        // libtiff reads from the descriptor's own position, which the
        // stream's buffering has moved.
        int fd = dup(fileno(file));
        if (fd >= 0) lseek(fd, 0, SEEK_SET);
        ok = fd >= 0 && TiffOpenRead(fd, path == "-" ? "standard input" : path, &r->tiff, info, error);
        if (fd < 0) *error = Errno("cannot open");
    } else if (n >= 3 && magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF) {
        r->format = ImageFormat::Jpeg;
        ok = JpegOpenRead(file, &r->jpeg, info, error);
    } else {
        *error = "not a PNG, TIFF or JPEG image";
    }
    info->format = r->format;
    if (!ok) {
        CloseReader(r);
        return false;
    }
    *out = r;
    return true;
}

bool ReadRows(ImageReader* r, uint32_t rows, uint8_t* band, std::string* error) {
    switch (r->format) {
        case ImageFormat::Png: return PngReadRows(r->png, rows, band, error);
        case ImageFormat::Jpeg: return JpegReadRows(r->jpeg, rows, band, error);
        case ImageFormat::Tiff: return TiffReadRows(r->tiff, rows, band, error);
        case ImageFormat::Unknown: break;
    }
    return false;
}

bool NextPage(ImageReader* r, ImageInfo* info, std::string* error) {
    if (r->format != ImageFormat::Tiff) return false;
    return TiffNextPage(r->tiff, info, error);
}

void CloseReader(ImageReader* r) {
    if (!r) return;
    if (r->png) PngCloseRead(r->png);
    if (r->jpeg) JpegCloseRead(r->jpeg);
    if (r->tiff) TiffCloseRead(r->tiff);
    if (r->file) std::fclose(r->file);
    delete r;
}

// ------------------------------------------------------------------ writers

struct ImageWriter {
    ImageFormat format = ImageFormat::Unknown;
    std::string path, temp;  // temp empty for standard output
    std::FILE* file = nullptr;   // PNG and JPEG (standard output included)
    std::FILE* spool = nullptr;  // TIFF for standard output: written here, then copied
    PngWriter* png = nullptr;
    JpegWriter* jpeg = nullptr;
    TiffWriter* tiff = nullptr;
};

namespace {

// Closes the format's writer and the file; false on the first failure.
bool CloseWriterFiles(ImageWriter* w, bool complete, std::string* error) {
    bool ok = true;
    if (w->png) ok = PngCloseWrite(w->png, complete, error);
    if (w->jpeg) ok = JpegCloseWrite(w->jpeg, complete, error);
    if (w->tiff) ok = TiffCloseWrite(w->tiff, complete, error);
    w->png = nullptr;
    w->jpeg = nullptr;
    w->tiff = nullptr;
    if (w->file && w->file != stdout && std::fclose(w->file) != 0 && ok && complete) {
        *error = Errno("cannot write");
        ok = false;
    }
    w->file = nullptr;
    return ok;
}

bool CopySpoolToStdout(std::FILE* spool, std::string* error) {
    std::rewind(spool);
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, spool)) > 0)
        if (std::fwrite(buffer, 1, n, stdout) != n) break;
    if (std::ferror(spool) || std::ferror(stdout) || std::fflush(stdout) != 0) {
        *error = Errno("cannot write standard output");
        return false;
    }
    return true;
}

}  // namespace

bool OpenWriter(const std::string& path, const ImageInfo& info, const WriteOptions& options, ImageWriter** out,
                std::string* error) {
    if (!CanWrite(options.format, info, error)) return false;
    // JPEG and PNG keep the orientation in EXIF: a TIFF's tag becomes a
    // small EXIF block when the input had none.
    if (options.format != ImageFormat::Tiff && info.meta.exif.empty() && info.meta.orientation != 1) {
        ImageInfo tagged = info;
        tagged.meta.exif = ExifWithOrientation(info.meta.orientation);
        return OpenWriter(path, tagged, options, out, error);
    }
    auto* w = new ImageWriter;
    w->format = options.format;
    w->path = path;
    const bool toStdout = path == "-";
    if (!toStdout) {
        w->temp = TempNameFor(path);
        ArmCleanup(w->temp);
    }
    bool ok = false;
    if (w->format == ImageFormat::Tiff) {
        int fd = -1;
        if (toStdout) {
            w->spool = std::tmpfile();
            if (w->spool) fd = dup(fileno(w->spool));
        } else {
            fd = open(w->temp.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0666);
        }
        if (fd < 0)
            *error = Errno("cannot write");
        else
            ok = TiffOpenWrite(fd, toStdout ? "standard output" : path, info, options.compression, &w->tiff, error);
    } else {
        w->file = toStdout ? stdout : std::fopen(w->temp.c_str(), "wb");
        if (!w->file)
            *error = Errno("cannot write");
        else if (w->format == ImageFormat::Png)
            ok = PngOpenWrite(w->file, info, &w->png, error);
        else
            ok = JpegOpenWrite(w->file, info, options.quality, &w->jpeg, error);
    }
    if (!ok) {
        AbortWriter(w);
        return false;
    }
    *out = w;
    return true;
}

bool WriteRows(ImageWriter* w, uint32_t rows, const uint8_t* band, std::string* error) {
    switch (w->format) {
        case ImageFormat::Png: return PngWriteRows(w->png, rows, band, error);
        case ImageFormat::Jpeg: return JpegWriteRows(w->jpeg, rows, band, error);
        case ImageFormat::Tiff: return TiffWriteRows(w->tiff, rows, band, error);
        case ImageFormat::Unknown: break;
    }
    return false;
}

bool NextWriterPage(ImageWriter* w, const ImageInfo& info, std::string* error) {
    if (w->format != ImageFormat::Tiff) {
        *error = "only TIFF holds more than one page";
        return false;
    }
    return TiffNextPage(w->tiff, info, error);
}

bool FinishWriter(ImageWriter* w, std::string* error) {
    bool ok = CloseWriterFiles(w, true, error);
    if (ok && w->spool) ok = CopySpoolToStdout(w->spool, error);
    if (ok && w->temp.empty() && w->format != ImageFormat::Tiff && std::fflush(stdout) != 0) {
        *error = Errno("cannot write standard output");
        ok = false;
    }
    if (ok && !w->temp.empty() && std::rename(w->temp.c_str(), w->path.c_str()) != 0) {
        *error = Errno("cannot write");
        ok = false;
    }
    if (!ok) {
        AbortWriter(w);
        return false;
    }
    if (w->spool) std::fclose(w->spool);
    DisarmCleanup();
    delete w;
    return true;
}

void AbortWriter(ImageWriter* w) {
    std::string ignored;
    CloseWriterFiles(w, false, &ignored);
    if (w->spool) std::fclose(w->spool);
    if (!w->temp.empty()) std::remove(w->temp.c_str());
    DisarmCleanup();
    delete w;
}

// ------------------------------------------------------------------- bands

void InterleaveBand(const ImageInfo& info, uint32_t rows, const uint8_t* planar, uint8_t* interleaved) {
    const size_t s = info.SampleBytes(), pixels = size_t(info.width) * rows, samples = size_t(info.Samples());
    for (size_t c = 0; c < samples; ++c) {
        const uint8_t* plane = planar + c * pixels * s;
        if (s == 1)
            for (size_t i = 0; i < pixels; ++i) interleaved[i * samples + c] = plane[i];
        else
            for (size_t i = 0; i < pixels; ++i) std::memcpy(&interleaved[(i * samples + c) * 2], plane + i * 2, 2);
    }
}

void PlanarizeBand(const ImageInfo& info, uint32_t rows, const uint8_t* interleaved, uint8_t* planar) {
    const size_t s = info.SampleBytes(), pixels = size_t(info.width) * rows, samples = size_t(info.Samples());
    for (size_t c = 0; c < samples; ++c) {
        uint8_t* plane = planar + c * pixels * s;
        if (s == 1)
            for (size_t i = 0; i < pixels; ++i) plane[i] = interleaved[i * samples + c];
        else
            for (size_t i = 0; i < pixels; ++i) std::memcpy(plane + i * 2, &interleaved[(i * samples + c) * 2], 2);
    }
}

uint32_t BandRows(const ImageInfo& info) {
    uint32_t rows = uint32_t((size_t(1) << 20) / std::max<uint32_t>(info.width, 1));
    return std::clamp<uint32_t>(rows, 1, std::max<uint32_t>(info.height, 1));
}

}  // namespace tool

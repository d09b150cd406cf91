// The per-format readers and writers behind image_io.h. Each works on a
// file it is given (the caller opens, spools and closes it, and chooses
// the temporary name); each keeps its own state record.
#pragma once

#include <cstdio>
#include <string>

#include "image_io.h"

namespace tool {

struct PngReader;
bool PngOpenRead(std::FILE* file, PngReader** reader, ImageInfo* info, std::string* error);
bool PngReadRows(PngReader* reader, uint32_t rows, uint8_t* band, std::string* error);
void PngCloseRead(PngReader* reader);
struct PngWriter;
bool PngOpenWrite(std::FILE* file, const ImageInfo& info, PngWriter** writer, std::string* error);
bool PngWriteRows(PngWriter* writer, uint32_t rows, const uint8_t* band, std::string* error);
// Writes the end of the image (when `complete`) and frees the writer.
bool PngCloseWrite(PngWriter* writer, bool complete, std::string* error);

struct JpegReader;
bool JpegOpenRead(std::FILE* file, JpegReader** reader, ImageInfo* info, std::string* error);
bool JpegReadRows(JpegReader* reader, uint32_t rows, uint8_t* band, std::string* error);
void JpegCloseRead(JpegReader* reader);
struct JpegWriter;
bool JpegOpenWrite(std::FILE* file, const ImageInfo& info, int quality, JpegWriter** writer, std::string* error);
bool JpegWriteRows(JpegWriter* writer, uint32_t rows, const uint8_t* band, std::string* error);
bool JpegCloseWrite(JpegWriter* writer, bool complete, std::string* error);

// TIFF works on a file descriptor of its own (closed by the close calls).
struct TiffReader;
bool TiffOpenRead(int fd, const std::string& name, TiffReader** reader, ImageInfo* info, std::string* error);
bool TiffReadRows(TiffReader* reader, uint32_t rows, uint8_t* band, std::string* error);
bool TiffNextPage(TiffReader* reader, ImageInfo* info, std::string* error);
void TiffCloseRead(TiffReader* reader);
struct TiffWriter;
bool TiffOpenWrite(int fd, const std::string& name, const ImageInfo& info, uint16_t compression, TiffWriter** writer,
                   std::string* error);
bool TiffWriteRows(TiffWriter* writer, uint32_t rows, const uint8_t* band, std::string* error);
bool TiffNextPage(TiffWriter* writer, const ImageInfo& info, std::string* error);
bool TiffCloseWrite(TiffWriter* writer, bool complete, std::string* error);

// The EXIF orientation (tag 0x0112 of the first directory), 0 when absent.
uint16_t ExifOrientation(const Bytes& exif);
// A minimal EXIF block that holds only an orientation.
Bytes ExifWithOrientation(uint16_t orientation);

}  // namespace tool

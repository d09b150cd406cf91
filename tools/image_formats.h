// The per-format readers and writers behind image_io.h. Writers write to
// exactly the path given (the caller chooses a temporary name).
#pragma once

#include <cstdio>
#include <string>

#include "image_io.h"

namespace tool {

bool ReadPng(const std::string& path, Image* image, std::string* error);
bool WritePng(const std::string& path, const Image& image, std::string* error);
bool ReadTiff(const std::string& path, Image* image, std::string* error);
bool WriteTiff(const std::string& path, const Image& image, std::string* error);
bool ReadJpeg(const std::string& path, Image* image, std::string* error);
bool WriteJpeg(const std::string& path, const Image& image, std::string* error);

// Closes a writer's file and reports the first failure: the library's
// (`format` and its message) before the close's.
bool FinishWrite(bool written, std::FILE* file, const char* format, const std::string& message,
                 std::string* error);

}  // namespace tool

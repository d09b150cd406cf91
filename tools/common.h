// Shared pieces of the tintwell tool: messages and exit codes, signatures in
// words, naming profiles (files, built-ins, embedded blocks), argument
// helpers and whole-file output written under a temporary name.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tintwell.h"

namespace tool {

// Exit codes scripts can rely on.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

using Bytes = std::vector<uint8_t>;

// "tintwell: <subject>: <message>" on one line of standard error.
void Fail(const std::string& subject, const std::string& message);
// The same for a library status: "... : <what> (status N: words)".
void FailStatus(const std::string& subject, const std::string& what, TntStatus status);
// "tintwell: warning: <subject>: <message>": the command goes on.
void Warn(const std::string& subject, const std::string& message);
// A usage error: the message and a pointer to the subcommand's help.
int UsageError(const char* command, const std::string& message);

// The status in words ("not an ICC profile", ...).
const char* StatusWords(TntStatus status);

std::string SigText(TntSignature s);                 // 'RGB '
std::string SigTrimmed(TntSignature s);              // RGB
const char* ClassWords(TntSignature deviceClass);    // "display"
const char* IntentWords(uint32_t intent);            // "relative colorimetric"
// A space given on the command line ("Lab", "rgb", "CMYK"); 0 when unknown.
TntSignature ParseSpace(const std::string& text);
int SpaceChannels(TntSignature space);  // 1, 3, 4 ... (0 when unknown)

// A profile named on the command line. Built-ins and profiles taken from
// images are held as bytes; files are named by path so that the library
// reads them itself.
struct ProfileSource {
    std::string name;  // as given, for messages
    std::string path;  // empty for byte images
    Bytes bytes;
};

// Resolves a name: "builtin:srgb", "builtin:lab", "builtin:gray" or a path.
// A missing or unreadable file is reported here (one line) and gives false.
bool ResolveProfile(const std::string& name, ProfileSource* out);
// A location naming the source; the bytes must outlive its use.
void LocationOf(ProfileSource& source, ProfileLocation* location);
// Opens the profile; reports failures and returns null.
Profile* OpenSource(ProfileSource& source);
// The whole profile image: the file's bytes or the held bytes.
bool SourceBytes(const ProfileSource& source, Bytes* out);

// A rendering intent: 0 to 3 or perceptual, relative, saturation, absolute
// (also relative-colorimetric, absolute-colorimetric).
bool ParseIntent(const std::string& text, uint16_t* intent);
// The same into a long, for options that take one intent.
bool ParseIntentNumber(const std::string& text, long* intent);
// A comma-separated list of them.
bool ParseIntentList(const std::string& text, std::vector<uint16_t>* intents);
extern const char kIntentWords[];  // for help texts and messages

// Integer arguments: true when `text` is a whole number in [low, high].
bool ParseInt(const std::string& text, long low, long high, long* value);

// Writes `bytes` to `path` through a temporary file in the same folder that
// is renamed over the target only when complete; a failure leaves no file.
bool WriteWholeFile(const std::string& path, const void* data, size_t size);
// A temporary name beside `path`, for writers that produce a file themselves.
std::string TempNameFor(const std::string& path);
// Renames a finished temporary file into place, or removes it on failure.
bool CommitTemp(const std::string& temp, const std::string& path);
// While armed, SIGINT, SIGTERM and SIGHUP remove `temp` before the process
// ends by the signal (so the shell sees the conventional status).
void ArmCleanup(const std::string& temp);
void DisarmCleanup();
bool ReadWholeFile(const std::string& path, Bytes* out, std::string* error);

// Standard error is a terminal (for progress bars).
bool ErrIsTerminal();

}  // namespace tool

#pragma once

#include <string>
#include <vector>

// Line and character helpers shared by the settings reader and writer.
namespace TextLines {

// Splits text at CR LF or a lone CR; a lone LF stays inside its line. A final terminator does not
// start another (empty) line.
std::vector<std::string> splitLines(const std::string& text);

// The settings files hold three small values; nothing past this many bytes is ever read, so a
// huge file cannot stall start-up.
constexpr size_t kMaxSettingsBytes = 1024 * 1024;

struct FileHead {
    std::string bytes;
    bool complete = true;  // false when the file holds more than was read
};

// Reads at most maxBytes of a file. When the file holds more, what follows the last CR within
// the limit is dropped, so no line is ever read cut short. Throws std::system_error when the
// file cannot be opened or read.
FileHead readFileHead(const std::string& path, size_t maxBytes = kMaxSettingsBytes);

}  // namespace TextLines

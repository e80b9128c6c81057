#pragma once

#include <string>

// Reads the program's small settings file: "[section]" headers followed by "key=value" lines.
// Text is 8-bit (Latin-1); lines end at CR LF or CR alone.
namespace INIReadWrite {

// Returns the trimmed value of the first matching key in the first matching section, or "" when
// the file, section or key is missing. Section and key are compared case-insensitively.
// Throws std::system_error when the file exists but cannot be read.
std::string ReadINI(const std::string& section, const std::string& key, const std::string& path);

}  // namespace INIReadWrite

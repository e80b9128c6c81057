#pragma once

#include <string>
#include <vector>

// Line and character helpers shared by the settings reader and writer.
namespace TextLines {

// Splits text at CR LF or a lone CR; a lone LF stays inside its line. A final terminator does not
// start another (empty) line.
std::vector<std::string> splitLines(const std::string& text);

// Removes leading and trailing spaces (character 32 only; tabs stay).
std::string trimSpaces(const std::string& s);

// Lower-cases ASCII and Latin-1 letters.
std::string toLowerLatin1(std::string s);

// Reads a whole file as bytes. Throws std::system_error when it cannot be opened or read.
std::string readFileBytes(const std::string& path);

}  // namespace TextLines

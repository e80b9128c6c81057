#pragma once

#include <string>

class cMp3;

namespace InfoLine {

constexpr const char* kFieldSeparator = "  -  ";
constexpr const char* kEndSeparator = "   // ---- RZ-77 ---- \\\\   ";

// Album, artist and title of the tag joined into the text that scrolls across the display.
std::string forTag(const cMp3& tag);
// The same line from album, artist and title given as Latin-1 text.
std::string forFields(const std::string& album, const std::string& artist,
                      const std::string& title);

}  // namespace InfoLine

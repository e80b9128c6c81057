#pragma once

#include <string>

class cMp3;

namespace InfoLine {

constexpr const char* kFieldSeparator = "  -  ";
constexpr const char* kEndSeparator = "   // ---- RZ-77 ---- \\\\   ";

// Album, artist and title of the tag joined into the text that scrolls across the display.
std::string forTag(const cMp3& tag);

}  // namespace InfoLine

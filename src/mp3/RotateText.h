#pragma once

#include <string>

// The text without its first character, followed by it: one step of the scrolling line.
// Throws std::invalid_argument for an empty text.
std::string RotateText(const std::string& s);

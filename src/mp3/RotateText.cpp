#include "mp3/RotateText.h"

#include <stdexcept>

std::string RotateText(const std::string& s) {
    if (s.empty()) {
        throw std::invalid_argument("RotateText needs at least one character");
    }
    return s.substr(1) + s.front();
}

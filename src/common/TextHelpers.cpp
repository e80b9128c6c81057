#include "common/TextHelpers.h"

std::string trimSpaces(const std::string& s) {
    const auto first = s.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

std::string toLowerLatin1(std::string s) {
    for (char& c : s) {
        const auto u = static_cast<unsigned char>(c);
        const bool upperAscii = u >= 'A' && u <= 'Z';
        const bool upperLatin1 = u >= 0xC0 && u <= 0xDE && u != 0xD7;
        if (upperAscii || upperLatin1) {
            c = static_cast<char>(u + 0x20);
        }
    }
    return s;
}

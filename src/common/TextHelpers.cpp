#include "common/TextHelpers.h"

#include <algorithm>

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

std::string latin1FromUtf8(const std::string& utf8) {
    std::string latin1;
    for (size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        // The length of the sequence from its first byte; 0 for a byte that starts none.
        const size_t length = lead < 0x80             ? 1
                              : (lead & 0xe0) == 0xc0 ? 2
                              : (lead & 0xf0) == 0xe0 ? 3
                              : (lead & 0xf8) == 0xf0 ? 4
                                                      : 0;
        size_t continued = 1;
        while (continued < length && i + continued < utf8.size() &&
               (static_cast<unsigned char>(utf8[i + continued]) & 0xc0) == 0x80) {
            ++continued;
        }
        if (length == 0 || continued < length) {
            latin1 += '?';
            i += std::max<size_t>(continued, 1);
            continue;
        }
        const unsigned code = length == 1 ? lead : ((lead & 0x1fu) << 6) | (utf8[i + 1] & 0x3fu);
        latin1 += length <= 2 && code <= 0xff ? static_cast<char>(code) : '?';
        i += length;
    }
    return latin1;
}

#pragma once

#include <cstddef>
#include <cstdint>

// How many bytes of a packed short message go out: program change and channel pressure have
// one data byte, the others two.
inline size_t shortMessageLength(uint8_t status) {
    const uint8_t type = status & 0xF0;
    return (type == 0xC0 || type == 0xD0) ? 2 : 3;
}

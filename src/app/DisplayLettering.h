#pragma once

#include <QString>

// The lit green lettering of the displays drawn into the skin (the tempo, the MP3 line).
inline QString displayLettering(int fontPixels, const char* padding) {
    return QString(
               "color: #8CFF64; background: transparent; font-family: 'DejaVu Sans Mono', "
               "monospace; font-weight: bold; font-size: %1px; padding: %2;")
        .arg(fontPixels)
        .arg(padding);
}

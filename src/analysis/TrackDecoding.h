#pragma once

#include <memory>
#include <string>

#include "analysis/MonoSource.h"

// The track at path as the analysis reads it; nothing when it holds no audio we can decode.
std::unique_ptr<MonoSource> openTrackForAnalysis(const std::string& path);

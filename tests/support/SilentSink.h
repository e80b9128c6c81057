#pragma once

#include <memory>
#include <string>

#include "audio/AudioEngine.h"

// A sound server that takes the stream and plays it nowhere: the engine's thread keeps its own
// time, so a track plays at its real pace without a server.
class SilentSink : public AudioSink {
public:
    bool write(const float*, int, std::string&) override { return true; }
    void skip(int) override {}
    bool service(std::string&) override { return true; }
    std::optional<std::chrono::microseconds> untilPlayed() override { return std::nullopt; }

    static AudioEngine::SinkOpener opener() {
        return [](const AudioSink::FormatChooser& choose, std::string&) {
            choose(48000);
            return std::unique_ptr<AudioSink>(std::make_unique<SilentSink>());
        };
    }
};

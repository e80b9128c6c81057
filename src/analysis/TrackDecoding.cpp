#include "analysis/TrackDecoding.h"

#include <vector>

#include "audio/TrackDecoder.h"

namespace {

// Both channels joined: a beat or a note on either side counts.
class DownmixedTrack : public MonoSource {
public:
    explicit DownmixedTrack(std::unique_ptr<TrackDecoder> decoder)
        : m_decoder(std::move(decoder)) {}

    int read(float* samples, int maxFrames) override {
        m_stereo.resize(2 * static_cast<size_t>(maxFrames));
        const int frames = m_decoder->read(m_stereo.data(), maxFrames);
        for (int i = 0; i < frames; ++i)
            samples[i] = 0.5f * (m_stereo[2 * i] + m_stereo[2 * i + 1]);
        return frames;
    }
    double estimatedSeconds() const override { return m_decoder->estimatedSeconds(); }

private:
    std::unique_ptr<TrackDecoder> m_decoder;
    std::vector<float> m_stereo;
};

}  // namespace

std::unique_ptr<MonoSource> openTrackForAnalysis(const std::string& path) {
    std::string error;
    auto decoder = openTrackDecoder(path, error);
    if (!decoder || !decoder->setOutputRate(kAnalysisRate, error))
        return nullptr;
    return std::make_unique<DownmixedTrack>(std::move(decoder));
}

#include "audio/TrackRender.h"

#include <rubberband/RubberBandStretcher.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "audio/TrackDecoder.h"
#include "audio/TransientLead.h"

namespace {

constexpr int kChunkFrames = 1024;
constexpr double kMostFinerCost = 0.25;  // CPU seconds per second of sound

using RubberBand::RubberBandStretcher;

RubberBandStretcher::Options optionsFor(StretchEngine engine) {
    return RubberBandStretcher::OptionProcessRealTime |
           RubberBandStretcher::OptionChannelsTogether |
           RubberBandStretcher::OptionPitchHighQuality |
           // The faster engine's default crisp transients restart its phases several times a
           // second even on a held note, which warbles by up to 10 cents.
           (engine == StretchEngine::Finer ? RubberBandStretcher::OptionEngineFiner
                                           : RubberBandStretcher::OptionEngineFaster |
                                                 RubberBandStretcher::OptionTransientsMixed);
}

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace

TrackRender::TrackRender(int rate, StretchEngine engine)
    : m_rate(rate),
      m_engine(engine),
      m_stretcher(std::make_unique<RubberBandStretcher>(rate, 2, optionsFor(engine))),
      m_interleaved(2 * kChunkFrames),
      m_left(kChunkFrames),
      m_right(kChunkFrames),
      m_skipLeft(kChunkFrames),
      m_skipRight(kChunkFrames) {
    m_stretcher->setMaxProcessSize(kChunkFrames);
}

TrackRender::~TrackRender() = default;

double TrackRender::measureCost(int rate, StretchEngine engine) {
    RubberBandStretcher stretcher(rate, 2, optionsFor(engine), 2.0);
    stretcher.setMaxProcessSize(kChunkFrames);
    std::vector<float> left(kChunkFrames), right(kChunkFrames);
    float* channels[] = {left.data(), right.data()};
    const double began = threadCpuSeconds();
    int64_t made = 0;
    int64_t fed = 0;
    while (made < 2 * static_cast<int64_t>(rate)) {
        const int wanted =
            std::clamp(static_cast<int>(stretcher.getSamplesRequired()), 1, kChunkFrames);
        for (int i = 0; i < wanted; ++i, ++fed) {  // a chord with a little noise in it
            const double t = static_cast<double>(fed) / rate;
            left[i] = right[i] = static_cast<float>(
                0.3 * std::sin(2 * std::numbers::pi * 220 * t) +
                0.2 * std::sin(2 * std::numbers::pi * 277.2 * t) + 0.01 * ((fed * 7919) % 13 - 6));
        }
        stretcher.process(channels, static_cast<size_t>(wanted), false);
        while (stretcher.available() > 0) {
            made += static_cast<int64_t>(stretcher.retrieve(
                channels, std::min<size_t>(kChunkFrames, stretcher.available())));
        }
    }
    return (threadCpuSeconds() - began) * rate / static_cast<double>(made);
}

StretchEngine TrackRender::measureEngine(int rate) {
    return measureCost(rate, StretchEngine::Finer) <= kMostFinerCost ? StretchEngine::Finer
                                                                     : StretchEngine::Faster;
}

void TrackRender::setDecoder(TrackDecoder* decoder) {
    m_decoder = decoder;
    start(0, m_tuning);
}

void TrackRender::start(int64_t frame, const TrackTuning& tuning) {
    m_tuning = tuning;
    m_rendered = 0;
    m_endFrame = m_decoder ? -1 : 0;
    if (tuning.plain() || !m_decoder) {
        m_startFrame = m_decoder ? m_decoder->seek(frame) : 0;
        m_inputFrame = m_startFrame;
        return;
    }
    m_stretcher->reset();
    m_stretcher->setTimeRatio(1.0 / tuning.speed);
    m_stretcher->setPitchScale(tuning.pitchScale());
    // The stretcher's window must reach the first frame before its output does: it is fed the
    // track before the frame (silence before the track's start), and its output for that is
    // dropped. Silence before a frame in the middle would be heard as an onset smeared round it.
    const auto pad = static_cast<int64_t>(m_stretcher->getPreferredStartPad());
    const int64_t preroll = std::min(frame, pad);
    m_inputFrame = m_decoder->seek(frame - preroll);
    m_startFrame = m_inputFrame + preroll;
    std::fill(m_left.begin(), m_left.end(), 0.0f);
    std::fill(m_right.begin(), m_right.end(), 0.0f);
    float* channels[] = {m_left.data(), m_right.data()};
    for (int64_t silence = pad - preroll; silence > 0; silence -= kChunkFrames) {
        m_stretcher->process(channels,
                             static_cast<size_t>(std::min<int64_t>(silence, kChunkFrames)), false);
    }
    for (int64_t left = preroll; left > 0; left -= kChunkFrames) {
        feedStretcher(static_cast<int>(std::min<int64_t>(left, kChunkFrames)));
    }
    m_skipOutput = static_cast<int64_t>(m_stretcher->getStartDelay());
}

int64_t TrackRender::position() const {
    return m_startFrame + std::llround(static_cast<double>(m_rendered) * m_tuning.speed);
}

double TrackRender::transientLead() const {
    return m_tuning.plain() ? 0.0 : ::transientLead(m_engine, m_tuning.speed) * m_rate;
}

int TrackRender::render(float* interleaved, int frames) {
    if (!m_decoder) {
        return 0;
    }
    const int made = m_tuning.plain() ? m_decoder->read(interleaved, frames)
                                      : renderStretched(interleaved, frames);
    m_rendered += made;
    return made;
}

// The stretcher is fed on until it has made what is asked; past the track's end it is fed
// silence, so that the track's last frames come out of it.
int TrackRender::renderStretched(float* interleaved, int frames) {
    if (m_endFrame >= 0) {
        const double left = static_cast<double>(m_endFrame - position()) / m_tuning.speed;
        frames = std::clamp(static_cast<int>(std::ceil(left)), 0, frames);
    }
    int made = 0;
    while (made < frames) {
        if (m_stretcher->available() <= 0) {
            feedStretcher(
                std::clamp(static_cast<int>(m_stretcher->getSamplesRequired()), 1, kChunkFrames));
            continue;
        }
        made += retrieve(interleaved + 2 * static_cast<size_t>(made), frames - made);
    }
    return made;
}

void TrackRender::feedStretcher(int wanted) {
    int got = m_endFrame < 0 ? m_decoder->read(m_interleaved.data(), wanted) : 0;
    if (got < wanted && m_endFrame < 0) {
        m_endFrame = m_inputFrame + got;
    }
    m_inputFrame += got;
    for (int i = 0; i < wanted; ++i) {
        const bool track = i < got;
        m_left[i] = track ? m_interleaved[2 * static_cast<size_t>(i)] : 0.0f;
        m_right[i] = track ? m_interleaved[2 * static_cast<size_t>(i) + 1] : 0.0f;
    }
    float* channels[] = {m_left.data(), m_right.data()};
    m_stretcher->process(channels, static_cast<size_t>(wanted), false);
}

int TrackRender::retrieve(float* interleaved, int frames) {
    if (m_skipOutput > 0) {
        float* skipped[] = {m_skipLeft.data(), m_skipRight.data()};
        m_skipOutput -= static_cast<int64_t>(m_stretcher->retrieve(
            skipped, static_cast<size_t>(std::min<int64_t>(
                         {m_skipOutput, kChunkFrames, m_stretcher->available()}))));
        return 0;
    }
    float* channels[] = {m_left.data(), m_right.data()};
    const auto count = static_cast<int>(m_stretcher->retrieve(
        channels, static_cast<size_t>(std::min({frames, kChunkFrames, m_stretcher->available()}))));
    for (int i = 0; i < count; ++i) {
        interleaved[2 * static_cast<size_t>(i)] = m_left[i];
        interleaved[2 * static_cast<size_t>(i) + 1] = m_right[i];
    }
    return count;
}

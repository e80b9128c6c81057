#include "audio/TrackTimeline.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <utility>

namespace {

constexpr int kChunkFrames = 1024;
// A loop's seam and a change while playing: the old sound fades out while the new fades in, at
// equal power.
constexpr double kSeamSeconds = 0.005;
constexpr int kCountInBeats = 4;
constexpr double kClickSeconds = 0.025;
constexpr double kAccentGain = 0.5;
constexpr double kBeatGain = 0.3;
// Slower than this a count-in is mostly waiting (30 BPM at 25 % is a click every 8 s): it then
// clicks on the beat's halves, quarters... as a player counts a slow piece in.
constexpr double kSlowestCountInBpm = 40;
// Passes and beats not yet told are forgotten beyond this many, should nobody ask for them.
constexpr size_t kLongestPassEnds = 256;
constexpr size_t kLongestBeatsPlayed = 256;

// Two inharmonic partials under a fast decay: a short tick that cuts through a band.
std::vector<float> clickTone(int rate) {
    std::vector<float> tone(static_cast<size_t>(kClickSeconds * rate));
    for (size_t i = 0; i < tone.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        tone[i] = static_cast<float>(std::exp(-t / 0.004) *
                                     (0.6 * std::sin(2 * std::numbers::pi * 2000 * t) +
                                      0.4 * std::sin(2 * std::numbers::pi * 3300 * t)));
    }
    return tone;
}

double countInBpm(double beatsPerMinute) {
    while (beatsPerMinute < kSlowestCountInBpm) {
        beatsPerMinute *= 2;
    }
    return beatsPerMinute;
}

double seamAngle(int i, int frames) {
    return std::numbers::pi / 2 * (i + 0.5) / frames;
}

}  // namespace

TrackTimeline::TrackTimeline(int streamRate, SampleRing& ring, RenderFor renderFor)
    : m_streamRate(streamRate),
      m_seamFrames(static_cast<int>(kSeamSeconds * streamRate)),
      m_ring(ring),
      m_renderFor(std::move(renderFor)),
      m_chunk(2 * kChunkFrames),
      m_fadeOut(2 * static_cast<size_t>(m_seamFrames)),
      m_fadeIn(m_fadeOut.size()),
      m_click(clickTone(streamRate)) {}

bool TrackTimeline::setLoop(std::optional<Loop> loop) {
    const auto kept =
        loop && loop->from >= 0 && loop->to > loop->from && loop->to - loop->from > 2 * m_seamFrames
            ? loop
            : std::nullopt;
    if (kept == m_loop) {
        return false;
    }
    m_loop = kept;
    m_pass = 0;
    return true;
}

bool TrackTimeline::setTuning(const TrackTuning& tuning) {
    if (tuning == m_tuning) {
        return false;
    }
    m_tuning = tuning;
    return true;
}

bool TrackTimeline::setTrainer(std::optional<SpeedTrainer> trainer) {
    if (trainer == m_trainer) {
        return false;
    }
    m_trainer = trainer;
    m_pass = 0;
    return true;
}

void TrackTimeline::setCountIn(std::optional<double> beatsPerMinute) {
    const bool counts = beatsPerMinute && std::isfinite(*beatsPerMinute) && *beatsPerMinute > 0;
    m_countInBpm = counts ? beatsPerMinute : std::nullopt;
}

bool TrackTimeline::setGrid(std::optional<BeatGrid> grid) {
    if (grid && !BeatGrids::usable(*grid)) {
        grid.reset();
    }
    const bool same = grid == m_grid;
    m_grid = std::move(grid);
    m_gridBeatSeconds = m_grid ? 60.0 / BeatGrids::beatsPerMinute(*m_grid) : 0;
    return !same && (m_songClick || m_countInBpm);
}

bool TrackTimeline::setSongClick(std::optional<SongClick> click) {
    if (click && (click->beatGains.empty() || click->subdivision < 1)) {
        click.reset();
    }
    if (click == m_songClick) {
        return false;
    }
    m_songClick = std::move(click);
    return m_grid.has_value();
}

const TrackTimeline::Jump* TrackTimeline::jumpAt(int64_t streamFrame) const {
    for (auto jump = m_jumps.rbegin(); jump != m_jumps.rend(); ++jump) {
        if (jump->streamFrame <= streamFrame) {
            return &*jump;
        }
    }
    return nullptr;
}

int64_t TrackTimeline::positionAt(int64_t streamFrame) const {
    const Jump* jump = jumpAt(streamFrame);
    return jump
               ? jump->trackFrame +
                     std::llround(static_cast<double>(streamFrame - jump->streamFrame) * jump->rate)
               : 0;
}

TrackTimeline::PassesHeard TrackTimeline::takePassesHeard(int64_t streamFrame) {
    PassesHeard heard;
    while (!m_passEnds.empty() && m_passEnds.front().streamFrame <= streamFrame) {
        ++heard.count;
        heard.fastest = std::max(heard.fastest, m_passEnds.front().speed);
        m_passEnds.pop_front();
    }
    return heard;
}

std::vector<TrackTimeline::BeatPlayed> TrackTimeline::takeBeatsPlayed(int64_t beforeStreamFrame) {
    std::vector<BeatPlayed> told;
    while (!m_beatsPlayed.empty() && m_beatsPlayed.front().streamFrame < beforeStreamFrame) {
        told.push_back(m_beatsPlayed.front());
        m_beatsPlayed.pop_front();
    }
    return told;
}

// A pass is whole only when it plays from the loop's start (or from before it) to the seam.
void TrackTimeline::startPass(int64_t trackFrame) {
    m_wholePass = m_loop && trackFrame <= m_loop->from;
}

double TrackTimeline::speedAt(int64_t streamFrame) const {
    const Jump* jump = jumpAt(streamFrame);
    return jump ? jump->speed : tuningNow().speed;
}

TrackTuning TrackTimeline::tuningNow() const {
    TrackTuning tuning = m_tuning;
    if (m_trainer && m_loop) {
        tuning.speed = m_trainer->speedForPass(m_pass);
    }
    return tuning;
}

void TrackTimeline::rewind(bool hasTrack) {
    m_ring.clear();
    m_pass = 0;
    m_countInLeft = 0;
    m_fadeInAt = -1;
    m_jumps.clear();
    m_clickCount = 0;
    m_songClicksFrom = 0;
    m_passEnds.clear();
    m_beatsPlayed.clear();
    startPass(0);
    startRender(0);
    m_renderedAll = !hasTrack;
    if (m_countInBpm && hasTrack) {
        startCountIn(tuningNow().speed, 0);
    }
    m_jumps.push_back({static_cast<int64_t>(m_countInLeft), 0, m_render->tuning().speed,
                       m_render->tuning().speed});
}

void TrackTimeline::startRender(int64_t frame) {
    const TrackTuning tuning = tuningNow();
    m_render = &m_renderFor(tuning);
    m_render->start(frame, tuning);
}

// The count-in's clicks end a beat before the one they count into. Without a grid that is the
// pass's first frame and the clicks come before it; with one it is the pass's first downbeat, so
// the clicks may go on over the track's first beats (an upbeat, a loop from the bar's middle).
void TrackTimeline::startCountIn(double speed, int64_t from) {
    const auto passStart = static_cast<int64_t>(m_ring.written() / 2);
    double beatSeconds = 60.0 / *m_countInBpm;
    int beats = kCountInBeats;
    double untilOne = 0;  // frames of the stream from the track's start to the one
    if (m_grid) {
        const double until = m_loop ? static_cast<double>(m_loop->to) / m_streamRate
                                    : std::numeric_limits<double>::infinity();
        const BeatGrids::CountIn place =
            BeatGrids::countInFor(*m_grid, static_cast<double>(from) / m_streamRate, until);
        beatSeconds = place.beatSeconds;
        beats = place.beats;
        untilOne =
            std::max(0.0, (place.downbeat * m_streamRate - static_cast<double>(from)) / speed);
    }
    const double beat = 60.0 / countInBpm(60.0 / beatSeconds * speed) * m_streamRate;
    m_countInLeft = std::max<int64_t>(0, std::llround(beats * beat - untilOne));
    const double firstClick = static_cast<double>(m_countInLeft) + untilOne - beats * beat;
    for (int i = 0; i < beats; ++i) {
        scheduleClick(static_cast<double>(passStart) + firstClick + i * beat,
                      i == 0 ? kAccentGain : kBeatGain);
    }
    m_songClicksFrom = passStart + m_countInLeft + std::llround(untilOne);
    m_fadeInAt = 0;
}

void TrackTimeline::scheduleClick(double streamFrame, float gain) {
    if (m_clickCount < m_clicks.size() && gain > 0) {
        m_clicks[m_clickCount++] = {std::llround(streamFrame), gain};
    }
}

// The ticks of the song's beats as the stream plays the track's frames from and to (not
// included), which the render has just made, and the beats themselves, click or none. The stretcher
// plays a beat after the frame it started from a little off its place, by its transient lead, so
// each such tick is placed that much earlier (or later) and the frames looked at run as far ahead
// (or behind): a click never lands on frames already written. Half a frame early on both ends: a
// pass from a beat starts on the frame nearest it.
void TrackTimeline::scheduleSongClicks(int64_t from, int64_t to, double speed) {
    if (!m_grid || to <= from) {
        return;
    }
    const double lead = m_render->transientLead();
    const double ahead = lead * speed;  // in frames of the track
    const auto start = static_cast<double>(m_render->startFrame());
    // The ticks in the loop's seam fade out with it; the next pass begins on its own.
    const double passEnd = m_loop && from < m_loop->to
                               ? static_cast<double>(m_loop->to) - m_seamFrames * speed
                               : std::numeric_limits<double>::infinity();
    const auto streamStart = static_cast<double>(m_ring.written() / 2);
    const auto& beats = m_grid->beats;
    const double low = (static_cast<double>(from) == start ? start : from + ahead) - 0.5;
    const double high =
        std::min(static_cast<double>(to) + ahead, std::max(static_cast<double>(to), passEnd)) - 0.5;
    const long first = std::max(0L, BeatGrids::beatAt(*m_grid, low / m_streamRate) - 1);
    const int subdivision = m_songClick ? m_songClick->subdivision : 1;
    for (auto i = static_cast<size_t>(first); i < beats.size() && beats[i] * m_streamRate < high;
         ++i) {
        const double next = i + 1 < beats.size() ? beats[i + 1] : beats[i];
        for (int j = 0; j < subdivision && (j == 0 || next > beats[i]); ++j) {
            const double tick = (beats[i] + (next - beats[i]) * j / subdivision) * m_streamRate;
            const double early = tick - start < std::abs(ahead) ? 0.0 : lead;
            const double at = streamStart + (tick - static_cast<double>(from)) / speed - early;
            if (tick < low || tick >= high) {
                continue;
            }
            // The count-in clicks over the beats before the one it counts into.
            const bool clicks = m_songClick && at >= static_cast<double>(m_songClicksFrom) - 0.5;
            const auto inBar =
                static_cast<size_t>(BeatGrids::beatInBar(*m_grid, static_cast<long>(i)));
            const float gain = !clicks ? 0.0f
                               : j == 0
                                   ? m_songClick->beatGains[inBar % m_songClick->beatGains.size()]
                                   : m_songClick->subdivisionGain;
            tellBeat(at, static_cast<long>(i), j, speed, gain > 0);
            scheduleClick(at, gain);
        }
    }
}

void TrackTimeline::tellBeat(double streamFrame, long beat, int subdivision, double speed,
                             bool clicked) {
    if (m_beatsPlayed.size() == kLongestBeatsPlayed) {
        m_beatsPlayed.pop_front();
    }
    m_beatsPlayed.push_back({std::llround(streamFrame), BeatGrids::barOfBeat(*m_grid, beat),
                             BeatGrids::beatInBar(*m_grid, beat), subdivision,
                             m_gridBeatSeconds / speed, clicked});
}

// Into the ring with the clicks that fall on these frames; a click once written to its end goes.
void TrackTimeline::put(float* interleaved, int frames) {
    const auto start = static_cast<int64_t>(m_ring.written() / 2);
    const auto clickFrames = static_cast<int64_t>(m_click.size());
    size_t kept = 0;
    for (size_t c = 0; c < m_clickCount; ++c) {
        const Click click = m_clicks[c];
        for (int64_t at = std::max(click.at, start);
             at < std::min(click.at + clickFrames, start + frames); ++at) {
            const float sample = click.gain * m_click[static_cast<size_t>(at - click.at)];
            interleaved[2 * (at - start)] += sample;
            interleaved[2 * (at - start) + 1] += sample;
        }
        if (click.at + clickFrames > start + frames) {
            m_clicks[kept++] = click;
        }
    }
    m_clickCount = kept;
    m_ring.write(interleaved, 2 * static_cast<size_t>(frames));
}

bool TrackTimeline::wantsChunk() const {
    return !m_renderedAll && m_ring.space() >= m_chunk.size();
}

void TrackTimeline::renderChunk() {
    if (m_countInLeft > 0) {
        writeCountIn();
        return;
    }
    int wanted = kChunkFrames;
    const double speed = m_render->tuning().speed;
    if (m_loop && m_render->position() < m_loop->to) {
        const double seamAt = static_cast<double>(m_loop->to) - m_seamFrames * speed;
        const double untilSeam =
            std::ceil((seamAt - static_cast<double>(m_render->position())) / speed);
        if (untilSeam <= 0) {
            writeSeam();
            return;
        }
        wanted = static_cast<int>(std::min<double>(wanted, untilSeam));
    }
    const int64_t from = m_render->position();
    const int frames = m_render->render(m_chunk.data(), wanted);
    scheduleSongClicks(from, m_render->position(), speed);
    write(m_chunk.data(), frames);
    if (frames < wanted) {
        if (m_loop) {
            writeSeam();  // a loop that reaches the end goes round from there
        } else {
            m_renderedAll = true;
        }
    }
}

// The fade-in after a count-in is applied on the way into the ring.
void TrackTimeline::write(float* interleaved, int frames) {
    if (m_fadeInAt >= 0) {
        const int fading = std::min(frames, m_seamFrames - m_fadeInAt);
        for (int i = 0; i < 2 * fading; ++i) {
            interleaved[i] = static_cast<float>(
                interleaved[i] * std::sin(seamAngle(m_fadeInAt + i / 2, m_seamFrames)));
        }
        m_fadeInAt = m_fadeInAt + fading >= m_seamFrames ? -1 : m_fadeInAt + fading;
    }
    put(interleaved, frames);
}

// The jumps the stream has played past are of no more use, but for the one it plays now.
void TrackTimeline::dropHeardJumps() {
    const auto heard = static_cast<int64_t>(m_ring.readCount() / 2);
    while (m_jumps.size() > 2 && m_jumps[1].streamFrame <= heard) {
        m_jumps.pop_front();
    }
}

void TrackTimeline::writeSeam() {
    std::fill(m_fadeOut.begin(), m_fadeOut.end(), 0.0f);
    m_render->render(m_fadeOut.data(), m_seamFrames);
    const auto streamFrame = static_cast<int64_t>(m_ring.written() / 2);
    if (m_wholePass) {
        if (m_passEnds.size() == kLongestPassEnds) {
            m_passEnds.pop_front();
        }
        m_passEnds.push_back({streamFrame, m_render->tuning().speed});
    }
    startPass(m_loop->from);
    if (m_trainer) {
        ++m_pass;
    }
    startRender(m_loop->from);
    const double speed = m_render->tuning().speed;
    if (m_countInBpm) {
        for (int i = 0; i < 2 * m_seamFrames; ++i) {
            m_fadeOut[i] =
                static_cast<float>(m_fadeOut[i] * std::cos(seamAngle(i / 2, m_seamFrames)));
        }
        put(m_fadeOut.data(), m_seamFrames);
        startCountIn(speed, m_loop->from);
        m_jumps.push_back({streamFrame + m_seamFrames, m_loop->from, 0.0, speed});
        m_jumps.push_back({streamFrame + m_seamFrames + m_countInLeft, m_loop->from, speed, speed});
    } else {
        writeCrossfade();
        m_jumps.push_back({streamFrame, m_loop->from, speed, speed});
    }
    dropHeardJumps();
}

// From the sound in m_fadeOut into the render's next frames, at equal power.
void TrackTimeline::writeCrossfade() {
    std::fill(m_fadeIn.begin(), m_fadeIn.end(), 0.0f);
    const int64_t from = m_render->position();
    m_render->render(m_fadeIn.data(), m_seamFrames);
    scheduleSongClicks(from, m_render->position(), m_render->tuning().speed);
    for (int i = 0; i < 2 * m_seamFrames; ++i) {
        const double angle = seamAngle(i / 2, m_seamFrames);
        m_chunk[i] =
            static_cast<float>(m_fadeOut[i] * std::cos(angle) + m_fadeIn[i] * std::sin(angle));
    }
    put(m_chunk.data(), m_seamFrames);
}

void TrackTimeline::writeCountIn() {
    const auto frames = static_cast<int>(std::min<int64_t>(kChunkFrames, m_countInLeft));
    std::fill_n(m_chunk.begin(), 2 * frames, 0.0f);
    put(m_chunk.data(), frames);
    m_countInLeft -= frames;
}

void TrackTimeline::rewrite(size_t fence, bool audible, std::optional<int64_t> frame) {
    m_renderedAll = false;
    const size_t from = std::min(fence, m_ring.written());
    const auto fromFrame = static_cast<int64_t>(from / 2);
    std::fill(m_fadeOut.begin(), m_fadeOut.end(), 0.0f);
    const size_t tail = audible ? m_ring.peek(from, m_fadeOut.data(), m_fadeOut.size()) : 0;
    m_ring.takeBack(from);

    int64_t target = frame.value_or(positionAt(fromFrame));
    if (m_loop && target >= m_loop->to) {
        target = m_loop->from;
    }
    while (!m_jumps.empty() && m_jumps.back().streamFrame >= fromFrame) {
        m_jumps.pop_back();
    }
    while (!m_passEnds.empty() && m_passEnds.back().streamFrame >= fromFrame) {
        m_passEnds.pop_back();
    }
    while (!m_beatsPlayed.empty() && m_beatsPlayed.back().streamFrame >= fromFrame) {
        m_beatsPlayed.pop_back();
    }
    startPass(target);
    m_countInLeft = 0;
    m_fadeInAt = -1;
    // What was placed beyond the fence is placed anew; a click under way fades out with the rest.
    m_clickCount = 0;
    m_songClicksFrom = 0;
    startRender(target);
    const double speed = m_render->tuning().speed;
    m_jumps.push_back({fromFrame, m_render->position(), speed, speed});
    if (tail > 0) {
        writeCrossfade();
    }
    dropHeardJumps();
}

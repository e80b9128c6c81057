#include "tuner/PitchDetector.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <stdexcept>
#include <string>

#include "tuner/AubioLibrary.h"

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;
constexpr double kSilence = 1e-4;  // RMS, -80 dB: below it nothing sounds, however soft the pluck
constexpr double kStartFloor = 0.004;    // -48 dB: quieter than that is not taken for a new note
constexpr double kHoldFall = 0.01;       // a note is read until it has fallen 40 dB from its attack
constexpr std::uint64_t kLostHops = 25;  // without yin's word on the note for this long: noise
constexpr double kAttackRise = 2;        // a hop twice as loud as the ringing before is a pluck
constexpr double kEnvelopeFall = 0.9;    // per hop: a ringing string falls far slower
constexpr double kLeastConfidence = 0.6;  // of yin: less is noise or a chord's mush
constexpr double kSureConfidence = 0.9;
constexpr double kStoppingFall = 0.7;  // in 10 ms; a ringing string loses 2 % in that time
constexpr int kPartials = 4;
// A period m times yin's is the note when the partials only it explains hold this share of what
// yin's own partials hold: a low string's fundamental may be 25 dB under its second partial, but
// its odd partials still ring at a seventh of the even ones, where another note's share is noise.
constexpr double kSubharmonicShare = 0.1;
constexpr double kRecentreCents = 20;  // a turning peg: the window's clock follows the string
constexpr double kNewNoteCents = 60;
constexpr int kNewNoteHops = 3;  // a passing disagreement is not a new note
constexpr int kOctaveHops = 2;   // nor a pick's noise another octave
constexpr std::uint64_t kSettledHops = 10;
constexpr std::size_t kStableCount = 4;  // phases: fewer only aim the clock
// Two successive slopes, each over two hops of phases, that differ by more than this: the pitch
// still moves, as a string's does for a moment after it is struck hard.
constexpr double kSettledCents = 2;
constexpr double kLaggingCents = 5;       // more than the slope's own noise over two hops
constexpr std::uint64_t kOnsetHops = 30;  // how long after a pluck its pitch may still move
constexpr double kWindowSeconds = 0.043;
constexpr int kLeastPeriods = 4;  // a Hann window of whole periods has a null on each harmonic

double centsBetween(double hz, double other) {
    return 1200 * std::log2(hz / other);
}

// Within reach of 2, 3 or 4 times the note, or a half, a third or a quarter of it.
bool harmonicallyRelated(double cents) {
    for (double ratio : {2.0, 3.0, 4.0}) {
        if (std::abs(std::abs(cents) - 1200 * std::log2(ratio)) <= kNewNoteCents) {
            return true;
        }
    }
    return false;
}

}  // namespace

struct PitchDetector::Yin {
    const AubioLibrary& aubio;
    aubio_pitch_t* pitch;
    fvec_t* in;
    fvec_t* out;
};

PitchDetector::PitchDetector(double sampleRate)
    : m_rate(sampleRate),
      m_hop(static_cast<std::size_t>(std::lround(sampleRate / 100))),
      m_taper(kHistory) {
    const auto yinBuffer = static_cast<uint_t>(sampleRate > 50000 ? 4096 : 2048);
    const auto hop = static_cast<uint_t>(m_hop);
    std::string error;
    const AubioLibrary* aubio = AubioLibrary::open(error);
    if (aubio == nullptr) {
        throw std::runtime_error(error);
    }
    m_yin =
        new Yin{*aubio, aubio->newPitch("yinfast", yinBuffer, hop, static_cast<uint_t>(sampleRate)),
                aubio->newVector(hop), aubio->newVector(1)};
    aubio->setUnit(m_yin->pitch, "Hz");
    aubio->setSilence(m_yin->pitch, -90);  // the floor is ours
}

PitchDetector::~PitchDetector() {
    m_yin->aubio.deleteVector(m_yin->out);
    m_yin->aubio.deleteVector(m_yin->in);
    m_yin->aubio.deletePitch(m_yin->pitch);
    delete m_yin;
}

void PitchDetector::reset() {
    rest();
    m_envelope = 0;
    m_peak = 0;
    m_faded = false;
    m_inHop = 0;
}

std::optional<PitchReading> PitchDetector::feed(const float* samples, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        m_history[m_written++ & (kHistory - 1)] = samples[i];
        if (++m_inHop == m_hop) {
            m_inHop = 0;
            analyseHop();
        }
    }
    return m_reading;
}

void PitchDetector::analyseHop() {
    const auto coarse = coarsePitch();  // every hop, so that yin's own window stays whole
    const double level = hopLevel();
    const bool attack = level > kAttackRise * m_envelope;
    m_envelope = std::max(level, m_envelope * kEnvelopeFall);
    if (attack) {
        m_attackEnds = m_written + m_hop;
        startFit();
        hide();
        m_peak = level;
        m_faded = false;
    }
    m_peak = std::max(m_peak, level);
    if (m_lockHz > 0 ? faded(level) : (level < kStartFloor || m_faded)) {
        m_faded |= m_lockHz > 0;
        rest();
        return;
    }
    if (coarse) {
        follow(*coarse);
    }
    if (m_lockHz == 0) {
        return;
    }
    measurePhase();
    double hz = m_phaseCount - m_fitFrom >= 2 ? refinedHz() : m_lockHz;
    if (std::abs(centsBetween(hz, m_lockHz)) > kNewNoteCents) {
        // No string moves that far in a hop: the phases follow a beat between close partials
        // (a doubled or distorted sound), not the note. The line starts again.
        m_fitFrom = m_phaseCount - 1;
        hz = m_lockHz;
    }
    // Nothing is stable while the period is in doubt (yin's own may be an octave off for a moment
    // after a pluck) or the pitch still moves, and nothing is shown before a stable reading: a
    // blank display a few hops longer is better than a wrong note.
    const bool settled = m_written > m_attackEnds + kSettledHops * m_hop;
    const bool lined = m_phaseCount - m_fitFrom >= kStableCount;
    const bool stable = lined && (m_judged || settled);
    m_shown |= stable;
    if (m_shown) {
        m_reading = PitchReading{lined ? hz : m_lockHz, stable};
    }
    if (std::abs(centsBetween(hz, m_lockHz)) > kRecentreCents) {
        recentre(hz);
    }
}

// A ringing string is read for as long as it stands clear of silence and noise: until it has
// fallen 40 dB from its attack, or yin has heard nothing like it for a quarter of a second. A
// string that fades out is not taken up again until the next pluck, so it does not flicker.
bool PitchDetector::faded(double level) const {
    return level < kSilence || level < kHoldFall * m_peak ||
           m_written > m_agreed + kLostHops * m_hop;
}

double PitchDetector::hopLevel() const {
    double power = 0;
    for (std::size_t i = 0; i < m_hop; ++i) {
        const double s = m_history[(m_written - 1 - i) & (kHistory - 1)];
        power += s * s;
    }
    return std::sqrt(power / static_cast<double>(m_hop));
}

std::optional<PitchDetector::Coarse> PitchDetector::coarsePitch() {
    for (std::size_t i = 0; i < m_hop; ++i) {
        m_yin->in->data[i] = m_history[(m_written - m_hop + i) & (kHistory - 1)];
    }
    m_yin->aubio.detect(m_yin->pitch, m_yin->in, m_yin->out);
    const double hz = m_yin->out->data[0];
    const double confidence = m_yin->aubio.confidence(m_yin->pitch);
    if (hz < kLowestHz / 2 || hz > kHighestHz || confidence < kLeastConfidence) {
        return std::nullopt;
    }
    return Coarse{hz, confidence};
}

// Once a string has rung a while, yin's slips to a harmonic or a subharmonic of it (as the
// fundamental fades into noise, or a harmonic takes over) are not a new note, and a new note
// without a pluck (a slide) must be clear.
// yin takes the shortest period that nearly repeats, which on a low string whose fundamental is
// weak is the second partial's; at a pluck's onset it may as well take two or three periods for
// one. The note is the period whose partials all sound: one m times shorter is the note when
// the partials it leaves out are missing, one m times longer when the partials only it explains
// are sounding.
std::optional<double> PitchDetector::periodOf(double hz) const {
    for (bool moved = true; moved;) {
        moved = false;
        for (int m : {2, 3}) {
            if (hz * m > kHighestHz) {
                continue;
            }
            const auto longer = longerPeriodSounds(hz * m, m);
            if (!longer) {
                return std::nullopt;
            }
            if (!*longer) {
                hz *= m;
                moved = true;
                break;
            }
        }
    }
    if (hz < kLowestHz) {
        return strongestPartial(hz);
    }
    for (int m : {3, 2}) {
        if (hz / m < kLowestHz) {
            continue;
        }
        const auto longer = longerPeriodSounds(hz, m);
        if (!longer) {
            return std::nullopt;
        }
        if (*longer) {
            return hz / m;
        }
    }
    return hz;
}

// Whether the first 3m partials of hz / m that are not partials of hz sound, against those that
// are: each counted by how far it stands above the spectrum halfway between partials, where a
// pick's noise and the room are as loud as on them. No answer until two periods of hz / m have
// sounded since the pluck: the silence or the note before would fill them.
std::optional<bool> PitchDetector::longerPeriodSounds(double hz, int m) const {
    const double low = hz / m;
    const double sincePluck =
        m_written > m_attackEnds ? static_cast<double>(m_written - m_attackEnds) : 0;
    const double periods = std::min<double>(kLeastPeriods, std::floor(sincePluck * low / m_rate));
    if (periods < 2) {
        return std::nullopt;
    }
    const int partials = 3 * m;
    double between = 0;
    for (int k = 1; k <= partials; ++k) {
        between += amplitudeAt((k - 0.5) * low, low, periods) / partials;
    }
    double own = 0, only = 0;
    for (int k = 1; k <= partials; ++k) {
        (k % m == 0 ? own : only) += std::max(0.0, amplitudeAt(k * low, low, periods) - between);
    }
    return only > kSubharmonicShare * own;
}

// Two strings a fifth apart repeat together at an octave below the lower one, lower than any
// string, and yin finds that: the note is then the strongest of its partials.
double PitchDetector::strongestPartial(double hz) const {
    double strongest = 0;
    double partialHz = hz;
    for (int k = 2; k <= kPartials; ++k) {
        const double amplitude = amplitudeAt(k * hz, hz, kLeastPeriods);
        if (amplitude > strongest) {
            strongest = amplitude;
            partialHz = k * hz;
        }
    }
    return partialHz;
}

// The last `length` samples, tapered, against a clock turning at hz from sample 0: the phase of
// a steady tone is then the same whichever window it is taken in.
template <typename Taper>
std::complex<double> PitchDetector::windowedBin(double hz, std::size_t length, Taper taper) const {
    const std::uint64_t start = m_written - length;
    const double omega = kTwoPi * hz / m_rate;
    std::complex<double> turn =
        std::polar(1.0, -std::fmod(omega * static_cast<double>(start), kTwoPi));
    const std::complex<double> step = std::polar(1.0, -omega);
    std::complex<double> sum = 0;
    for (std::size_t n = 0; n < length; ++n) {
        sum += taper(n) * static_cast<double>(m_history[(start + n) & (kHistory - 1)]) * turn;
        turn *= step;
    }
    return sum;
}

// Over whole periods of `periodHz`, so that every other partial of it falls on a null.
double PitchDetector::amplitudeAt(double hz, double periodHz, double periods) const {
    const auto length = std::min(
        kHistory - m_hop, static_cast<std::size_t>(std::lround(periods * m_rate / periodHz)));
    // The taper's cosine turned sample by sample: a cosine per sample would cost more than the bin.
    const std::complex<double> step = std::polar(1.0, kTwoPi / static_cast<double>(length));
    std::complex<double> turn = std::polar(1.0, kTwoPi * 0.5 / static_cast<double>(length));
    return std::abs(windowedBin(hz, length, [&](std::size_t) {
        const double taper = 0.5 - 0.5 * turn.real();
        turn *= step;
        return taper;
    }));
}

void PitchDetector::follow(Coarse coarse) {
    const bool settled = m_written > m_attackEnds + kSettledHops * m_hop;
    if (m_lockHz > 0 && settled) {
        const double cents = centsBetween(coarse.hz, m_lockHz);
        if (std::abs(cents) <= kNewNoteCents || harmonicallyRelated(cents)) {
            m_disagreeing = 0;
            m_agreed = m_written;
            return;
        }
    }
    // Only while a note may be new: it costs. Each hop of a pluck's first 100 ms looks again,
    // over a longer window with less of the pick in it.
    // Until the longer periods can be judged, yin's own aims the needle.
    const auto judged = periodOf(coarse.hz);
    const double period = judged.value_or(coarse.hz);
    if (period < kLowestHz || period > kHighestHz) {
        return;
    }
    if (m_lockHz == 0) {
        lockTo(period);
        m_judged = judged.has_value();
        return;
    }
    const double cents = centsBetween(period, m_lockHz);
    if (judged) {
        m_judged = std::abs(cents) <= kNewNoteCents;
    }
    if (std::abs(cents) <= kNewNoteCents) {
        m_disagreeing = 0;
        m_agreed = m_written;
    } else if (settled && coarse.confidence < kSureConfidence) {
        return;
    } else if (++m_disagreeing >=
               (!settled && harmonicallyRelated(cents) ? kOctaveHops : kNewNoteHops)) {
        lockTo(period);  // a new note, or the same string with its octave now clear
        if (!settled) {
            hide();  // an onset's octave in doubt; past it, a slide's new note is shown at once
        }
        m_judged = judged.has_value();
    }
}

// The window holds whole periods of the note, at least 43 ms of them, so the note's own
// harmonics fall on the taper's nulls and leave the fundamental's phase alone.
void PitchDetector::lockTo(double hz) {
    setClock(hz);
    startFit();
    m_disagreeing = 0;
    m_agreed = m_written;
}

// The phases measured so far, against the new clock: the line through them stays the string's.
void PitchDetector::recentre(double hz) {
    const std::size_t count = std::min(m_phaseCount, kPhases);
    for (std::size_t i = 0; i < count; ++i) {
        m_phases[i].radians += kTwoPi * (m_lockHz - hz) * m_phases[i].seconds;
    }
    m_lastRaw = std::remainder(m_phases[(m_phaseCount - 1) % kPhases].radians, kTwoPi);
    setClock(hz);
}

void PitchDetector::setClock(double hz) {
    m_lockHz = hz;
    const double period = m_rate / hz;
    const double periods = std::max<double>(kLeastPeriods, std::ceil(kWindowSeconds * hz));
    m_window = std::min(kHistory - m_hop, static_cast<std::size_t>(std::lround(periods * period)));
    for (std::size_t n = 0; n < m_window; ++n) {
        m_taper[n] = 0.5 - 0.5 * std::cos(kTwoPi * (n + 0.5) / static_cast<double>(m_window));
    }
}

// The phase of the fundamental against a clock turning at the note followed: its drift from
// window to window is how far the string is from that note.
void PitchDetector::measurePhase() {
    if (m_written < m_window || m_written - m_window < m_attackEnds) {
        return;
    }
    const std::complex<double> sum =
        windowedBin(m_lockHz, m_window, [this](std::size_t n) { return m_taper[n]; });
    // A string stopped by the hand (or a signal cut off) falls within one window: the window
    // that holds the stop has a phase of its own, and the line keeps to the ringing before.
    const double magnitude = std::abs(sum);
    const bool stopping = m_phaseCount > 0 && magnitude < kStoppingFall * m_lastMagnitude;
    m_lastMagnitude = magnitude;
    if (stopping) {
        return;
    }
    const double raw = std::arg(sum);
    const Phase* last = m_phaseCount > 0 ? &m_phases[(m_phaseCount - 1) % kPhases] : nullptr;
    const double radians = last ? last->radians + std::remainder(raw - m_lastRaw, kTwoPi) : raw;
    const double centre = static_cast<double>(m_written) - 0.5 * static_cast<double>(m_window + 1);
    m_phases[m_phaseCount % kPhases] = {centre / m_rate, radians};
    ++m_phaseCount;
    m_lastRaw = raw;
    const bool onset = m_written < m_attackEnds + kOnsetHops * m_hop;
    if (onset && (m_shown ? lineLagsBehind() : !pitchSettled())) {
        m_fitFrom = m_phaseCount - 3;  // the line starts with the latest slope
    }
}

// The offset of the phases' slope over the two hops up to phase `newest`.
double PitchDetector::slopeHz(std::size_t newest) const {
    const Phase& to = m_phases[newest % kPhases];
    const Phase& from = m_phases[(newest - 2) % kPhases];
    return (to.radians - from.radians) / (to.seconds - from.seconds) / kTwoPi;
}

// Until the first stable reading after a pluck: whether the latest slope of the phases (over two
// hops) is the one before it, so that a reading of a moving onset is not offered as the string's
// pitch.
bool PitchDetector::pitchSettled() const {
    if (m_phaseCount - m_fitFrom < 4) {
        return true;
    }
    const double latest = slopeHz(m_phaseCount - 1);
    const double before = slopeHz(m_phaseCount - 2);
    return std::abs(centsBetween(m_lockHz + latest, m_lockHz + before)) <= kSettledCents;
}

// After it, in the rest of the onset: whether the pitch has moved on from the line through the
// phases, which would drag the reading behind it for as long as the line is.
bool PitchDetector::lineLagsBehind() const {
    if (m_phaseCount - m_fitFrom < 4) {
        return false;
    }
    const double latest = m_lockHz + slopeHz(m_phaseCount - 1);
    return std::abs(centsBetween(latest, refinedHz())) > kLaggingCents;
}

// A least-squares line through the phases of the steady part: its slope is the offset.
double PitchDetector::refinedHz() const {
    const std::size_t first = std::max(m_fitFrom, m_phaseCount - std::min(m_phaseCount, kPhases));
    const auto count = static_cast<double>(m_phaseCount - first);
    double meanT = 0, meanPhase = 0;
    for (std::size_t i = first; i < m_phaseCount; ++i) {
        meanT += m_phases[i % kPhases].seconds / count;
        meanPhase += m_phases[i % kPhases].radians / count;
    }
    double covariance = 0, variance = 0;
    for (std::size_t i = first; i < m_phaseCount; ++i) {
        const Phase& phase = m_phases[i % kPhases];
        const double dt = phase.seconds - meanT;
        covariance += dt * (phase.radians - meanPhase);
        variance += dt * dt;
    }
    return m_lockHz + covariance / variance / kTwoPi;
}

void PitchDetector::startFit() {
    m_phaseCount = 0;
    m_fitFrom = 0;
}

void PitchDetector::hide() {
    m_shown = false;
    m_reading.reset();
}

void PitchDetector::rest() {
    m_lockHz = 0;
    m_judged = false;
    startFit();
    hide();
    m_disagreeing = 0;
}

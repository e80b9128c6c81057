#pragma once

#include <QWidget>
#include <optional>

// How far the string is from its note: a needle over ±50 cents and, below it, a strobe band that
// turns with the offset (right when sharp, left when flat) and stands still in tune. At rest,
// with nothing heard, the needle lies dim in the middle.
class TunerMeter : public QWidget {
    Q_OBJECT
public:
    explicit TunerMeter(QWidget* parent);

    // Called at the display's rate; seconds since the last call turn the strobe.
    void show(std::optional<double> cents, bool stable, double seconds);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void paintScale(QPainter& painter, const QRectF& area);
    void paintStrobe(QPainter& painter, const QRectF& area);

    std::optional<double> m_cents;
    bool m_stable = false;
    double m_phase = 0;  // of the strobe band, in stripes
};

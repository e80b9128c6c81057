#pragma once

#include <QWidget>
#include <array>

#include "metronome/ClickPlanner.h"

// The bar's beats as a row of dots: an accent large and orange, a normal beat green, a silent
// one an empty ring. A click on a dot gives it the next mark; the keyboard's chosen dot has a
// frame; the beat being heard lights up.
class BeatDots : public QWidget {
    Q_OBJECT
public:
    using Marks = std::array<MetronomeTrainer::Mark, MetronomeTrainer::kMaxBeats>;

    explicit BeatDots(QWidget* parent);

    void setBar(int beats, const Marks& marks);
    void choose(int beat);
    int chosen() const { return m_chosen; }
    // -1 for none.
    void light(int beat);

signals:
    void dotClicked(int beat);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QRectF dotArea(int beat) const;
    void name();

    int m_beats = 4;
    Marks m_marks{};
    int m_chosen = 0;
    int m_lit = -1;
};

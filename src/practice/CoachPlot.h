#pragma once

#include <QWidget>
#include <vector>

#include "coach/TimingGrid.h"

// A take's offsets over time: a dot per note, early below the middle line and late above
// (±50 ms at the edges), the bar lines behind, the muted bars' notes hollow.
class CoachPlot : public QWidget {
    Q_OBJECT
public:
    explicit CoachPlot(QWidget* parent);
    void setNotes(std::vector<Coach::NoteTiming> notes);
    const std::vector<Coach::NoteTiming>& notes() const { return m_notes; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<Coach::NoteTiming> m_notes;
};

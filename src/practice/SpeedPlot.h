#pragma once

#include <QWidget>
#include <vector>

#include "practice/PracticeLog.h"

// The practice log of one section at a glance: the time practised each day as dim bars, the
// highest speed of a whole pass each day as a lit line, and a line of text that says the same,
// which is also what a screen reader reads.
class SpeedPlot : public QWidget {
    Q_OBJECT
public:
    explicit SpeedPlot(QWidget* parent);

    // Nothing chosen when name is empty.
    void showDays(const QString& name, std::vector<PracticeDay> days);
    const QString& summary() const { return m_summary; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<PracticeDay> m_days;
    QString m_summary;
};

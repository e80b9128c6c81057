#pragma once

#include <QObject>
#include <QStringList>

#include "mp3/FileDialog.h"

class QWidget;

// The file dialog on QFileDialog.
class QtFileDialog : public FileDialog {
public:
    explicit QtFileDialog(QWidget* parent, QString title = QObject::tr("Open MP3 file"));

    void Filter(const std::string& filter) override;
    void ShowOpen() override;
    std::string FileName() const override { return m_fileName; }
    std::string ShowSave(const std::string& suggested) override;

    // "desc|*.a|desc2|*.b" as Qt's name filters: "desc (*.a)", "desc2 (*.b)".
    static QStringList nameFilters(const std::string& filter);

private:
    QWidget* m_parent;
    QString m_title;
    QStringList m_nameFilters;
    std::string m_fileName;
};

#include "mp3/QtFileDialog.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>

QtFileDialog::QtFileDialog(QWidget* parent, QString title)
    : m_parent(parent), m_title(std::move(title)) {}

void QtFileDialog::Filter(const std::string& filter) {
    m_nameFilters = nameFilters(filter);
}

QStringList QtFileDialog::nameFilters(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        // Qt takes the patterns from the last parentheses; several are separated by spaces.
        const QString patterns = parts[i + 1].split(';', Qt::SkipEmptyParts).join(' ');
        filters << QStringLiteral("%1 (%2)").arg(parts[i], patterns);
    }
    return filters;
}

void QtFileDialog::ShowOpen() {
    const QString previous = QFile::decodeName(QByteArray::fromStdString(m_fileName));
    QFileDialog dialog(m_parent, m_title);
    dialog.setFileMode(QFileDialog::ExistingFile);
    // The list shows each description as written; the patterns stay behind it.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(m_nameFilters);
    if (!previous.isEmpty()) {
        dialog.setDirectory(QFileInfo(previous).absolutePath());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    m_fileName = QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
}

// Qt asks before a file is overwritten.
std::string QtFileDialog::ShowSave(const std::string& suggested) {
    QFileDialog dialog(m_parent, m_title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(m_nameFilters);
    dialog.selectFile(QFile::decodeName(QByteArray::fromStdString(suggested)));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
}

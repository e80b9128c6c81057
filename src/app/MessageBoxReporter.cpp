#include "MessageBoxReporter.h"

#include <QApplication>
#include <QMessageBox>

MessageBoxReporter::MessageBoxReporter()
    : ReportGate([](const std::string& text) {
          QMessageBox box(QMessageBox::Warning, QStringLiteral("RZ77"),
                          QString::fromStdString(text), QMessageBox::Ok,
                          QApplication::activeWindow());
          box.exec();
      }) {}

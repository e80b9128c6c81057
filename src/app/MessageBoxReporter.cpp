#include "app/MessageBoxReporter.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

MessageBoxReporter::MessageBoxReporter()
    : ReportGate([](const std::string& text) {
          std::fprintf(stderr, "RZ77: %s\n", text.c_str());  // for whoever reads the log
          QMessageBox box(QMessageBox::Warning, QStringLiteral("RZ77"),
                          QString::fromStdString(text), QMessageBox::Ok,
                          QApplication::activeWindow());
          box.exec();
      }) {}

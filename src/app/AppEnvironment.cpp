#include "app/AppEnvironment.h"

#include <QCoreApplication>

AppEnvironment AppEnvironment::ofApplication() {
    return {QCoreApplication::applicationDirPath().toStdString(), ScreenUnits::ofPrimaryScreen()};
}

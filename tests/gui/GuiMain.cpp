// The widget tests run with a real QApplication, headless unless told otherwise.

#include <QApplication>
#include <gtest/gtest.h>

#include "ModalDriver.h"
#include "ui/Translations.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  // As the program does: Qt's own dialogs and buttons in Chinese.
  InstallQtTranslations(app);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

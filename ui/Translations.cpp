#include "ui/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <memory>

bool InstallQtTranslations(QCoreApplication& app) {
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  bool loaded = false;
  // qtbase holds the dialogs and buttons; the application keeps the translators.
  for (const char* catalogue : {"qtbase", "qt"}) {
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QLocale(QLocale::Chinese, QLocale::China), catalogue, "_", folder)) continue;
    QCoreApplication::installTranslator(translator.get());
    translator.release()->setParent(&app);
    loaded = true;
  }
  return loaded;
}

#pragma once
// Qt's own dialogs (choose a file or folder, the buttons of message boxes)
// speak the program's language: Chinese, from Qt's translations.

class QCoreApplication;

// Loads Qt's Chinese translations into app; false when they are not installed
// (qt6-translations-l10n), and the dialogs stay in English.
bool InstallQtTranslations(QCoreApplication& app);

#pragma once
// The program's message boxes: one OK button, the application's name as
// caption unless another is given. Tests take the boxes instead of a user.

#include <QString>
#include <functional>

class QWidget;

void ShowMessageBox(QWidget* parent, const QString& text, const QString& caption = QString());

// While set, boxes go to the hook and nothing is shown.
using MessageBoxHook = std::function<void(const QString& caption, const QString& text)>;
void SetMessageBoxHook(MessageBoxHook hook);

#pragma once
// The program's message boxes: one OK button, the application's name as
// caption unless another is given. Tests take the boxes instead of a user.

#include <QString>
#include <functional>

class QWidget;

void ShowMessageBox(QWidget* parent, const QString& text, const QString& caption = QString());
// A box with OK (or okCaption) and one more button; true when the user chose
// that button. With keepByDefault, Enter and Escape choose the button: OK
// then discards something, and only a click says so.
bool ShowMessageBoxWithButton(QWidget* parent, const QString& text, const QString& buttonCaption,
                              const QString& okCaption = QString(), const QString& caption = QString(),
                              bool keepByDefault = false);
class QMessageBox;
class QPushButton;
// The box ShowMessageBoxWithButton shows, and its extra button.
QPushButton* SetUpMessageBoxWithButton(QMessageBox* box, const QString& buttonCaption, const QString& okCaption,
                                       bool keepByDefault);
// A question with Yes and No (in the user's language); true for Yes.
bool AskYesNo(QWidget* parent, const QString& text);

// While set, boxes go to the hook and nothing is shown.
using MessageBoxHook = std::function<void(const QString& caption, const QString& text)>;
void SetMessageBoxHook(MessageBoxHook hook);
// What the hook's user answers to a box with a second button and to a question.
void SetMessageBoxHookAnswer(bool answer);

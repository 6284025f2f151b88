#include "ui/MessageBoxes.h"

#include <QMessageBox>
#include <QPushButton>

#include "ui/Palette.h"

namespace {
MessageBoxHook& Hook() {
  static MessageBoxHook hook;
  return hook;
}

bool& HookAnswer() {
  static bool answer = false;
  return answer;
}

QString TitleOr(const QString& caption) {
  return caption.isNull() ? QString::fromUtf8(Palette::kApplicationName) : caption;
}
}  // namespace

void SetMessageBoxHook(MessageBoxHook hook) {
  Hook() = std::move(hook);
  HookAnswer() = false;
}

void SetMessageBoxHookAnswer(bool answer) { HookAnswer() = answer; }

void ShowMessageBox(QWidget* parent, const QString& text, const QString& caption) {
  const QString title = TitleOr(caption);
  if (Hook()) {
    Hook()(title, text);
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
  box.exec();
}

QPushButton* SetUpMessageBoxWithButton(QMessageBox* box, const QString& buttonCaption, const QString& okCaption,
                                       bool keepByDefault) {
  QPushButton* extra = box->addButton(buttonCaption, QMessageBox::ActionRole);
  if (!okCaption.isEmpty()) box->button(QMessageBox::Ok)->setText(okCaption);
  if (keepByDefault) {
    box->setDefaultButton(extra);
    box->setEscapeButton(extra);
  } else {
    box->setDefaultButton(QMessageBox::Ok);
  }
  return extra;
}

bool ShowMessageBoxWithButton(QWidget* parent, const QString& text, const QString& buttonCaption,
                              const QString& okCaption, const QString& caption, bool keepByDefault) {
  const QString title = TitleOr(caption);
  if (Hook()) {
    Hook()(title, text);
    return HookAnswer();
  }
  QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
  QPushButton* extra = SetUpMessageBoxWithButton(&box, buttonCaption, okCaption, keepByDefault);
  box.exec();
  return box.clickedButton() == extra;
}

bool AskYesNo(QWidget* parent, const QString& text) {
  const QString title = TitleOr(QString());
  if (Hook()) {
    Hook()(title, text);
    return HookAnswer();
  }
  QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent);
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

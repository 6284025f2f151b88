#include "ui/MessageBoxes.h"

#include <QMessageBox>

#include "ui/Palette.h"

namespace {
MessageBoxHook& Hook() {
  static MessageBoxHook hook;
  return hook;
}
}  // namespace

void SetMessageBoxHook(MessageBoxHook hook) { Hook() = std::move(hook); }

void ShowMessageBox(QWidget* parent, const QString& text, const QString& caption) {
  const QString title = caption.isNull() ? QString::fromUtf8(Palette::kApplicationName) : caption;
  if (Hook()) {
    Hook()(title, text);
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
  box.exec();
}

#pragma once
// Acts on the program's modal windows as a user would, from timers on the
// user-interface thread while a modal run waits for input.

#include <QApplication>
#include <QPoint>
#include <QTimer>
#include <QWidget>
#include <functional>

// Runs act on the first visible modal window of type T, once it is shown.
// Gives up after timeoutMs and closes every modal window, so no test hangs.
template <class T>
void WhenModal(std::function<void(T*)> act, int timeoutMs = 20000) {
  auto* timer = new QTimer;
  auto* waited = new int(0);
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, waited, act, timeoutMs] {
    *waited += 10;
    if (auto* w = dynamic_cast<T*>(QApplication::activeModalWidget()); w && w->isVisible()) {
      timer->stop();
      timer->deleteLater();
      delete waited;
      act(w);
      return;
    }
    if (*waited > timeoutMs) {
      timer->stop();
      timer->deleteLater();
      delete waited;
      while (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    }
  });
  timer->start();
}

// Runs pending events until done() holds or timeoutMs has passed.
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 20000);

#include <QString>
#include <ostream>

// Test output shows Qt strings as text.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

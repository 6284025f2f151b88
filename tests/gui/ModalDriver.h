#pragma once
// Acts on the program's modal windows as a user would, from timers on the
// user-interface thread while a modal run waits for input.

#include <QApplication>
#include <QElapsedTimer>
#include <QPoint>
#include <QTimer>
#include <QWidget>
#include <functional>

// Runs act on the first visible modal window of type T, once it is shown.
// Gives up after timeoutMs and closes every modal window, so no test hangs.
template <class T>
void WhenModal(std::function<void(T*)> act, int timeoutMs = 20000) {
  // The application owns the timer until it has acted or given up.
  auto* timer = new QTimer(qApp);
  timer->setInterval(10);
  QElapsedTimer clock;
  clock.start();
  QObject::connect(timer, &QTimer::timeout, [timer, clock, act, timeoutMs] {
    if (auto* w = dynamic_cast<T*>(QApplication::activeModalWidget()); w && w->isVisible()) {
      timer->stop();
      timer->deleteLater();
      act(w);
      return;
    }
    if (clock.elapsed() > timeoutMs) {
      timer->stop();
      timer->deleteLater();
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

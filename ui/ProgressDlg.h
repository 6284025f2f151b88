#pragma once
// The third wizard step: runs the scan on its own thread and shows its
// progress. Each update from the scan waits until this window has shown it;
// on cancel the window closes at once and the thread is stopped and joined
// before the window object goes away.

#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <atomic>
#include <mutex>
#include <optional>
#include <thread>

#include "app/SentUpdates.h"
#include "scan/ScanProgress.h"
#include "ui/MarkupButton.h"
#include "ui/ResizeDialog.h"

struct ScanSession;

class CProgressDlg : public CResizeDialog, public IScanProgress {
 public:
  explicit CProgressDlg(ScanSession& session, QWidget* parent = nullptr);
  ~CProgressDlg() override;

  // The modal run: kIdOk when the scan finished, kIdCancel when it was cancelled.
  int DoModal();
  // A message the scan raised after the window had closed ("扫描终止").
  std::optional<std::pair<QString, QString>> LateMessage() const;

  QProgressBar* ProgressBar() { return m_bar; }
  QLabel* PercentText() { return m_percent; }
  QLabel* FoundText() { return m_found; }
  QLabel* ClockText() { return m_clock; }
  CMarkupButton* CancelButton() { return m_cancel; }
  bool ScanRunning() const { return m_thread.joinable() && !m_finished; }

  // IScanProgress, called on the scan thread.
  void SetRange(uint32_t low, uint32_t high) override;
  void SetPos(uint32_t position) override;
  void SetPercentText(const std::string& text) override;
  void SetFoundText(const std::string& text) override;
  void SetTitle(const std::string& title) override;
  bool IsCancelled() const override { return m_cancelFlag.load(std::memory_order_relaxed) != 0; }
  void OnOK() override;
  void ShowMessage(const std::string& caption, const std::string& text) override;

  void accept() override;
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void PaintExtra(QPainter& painter) override;

 private:
  void StartScan();
  void StopScan();
  void UpdateClock();

  ScanSession& m_session;
  CSentUpdates m_updates;
  std::thread m_thread;
  std::atomic<uint32_t> m_cancelFlag{0};
  bool m_finished = false;
  bool m_started = false;
  QProgressBar* m_bar = nullptr;
  QLabel* m_percent = nullptr;
  QLabel* m_found = nullptr;
  QLabel* m_clock = nullptr;
  CMarkupButton* m_cancel = nullptr;
  QTimer m_clockTimer;
  QElapsedTimer m_elapsed;
  mutable std::mutex m_lateMutex;
  std::optional<std::pair<QString, QString>> m_lateMessage;
};

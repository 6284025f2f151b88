#pragma once
// What the scan thread reports to whoever watches it: the progress dialog,
// or the command-line tool.

#include <cstdint>
#include <string>

class IScanProgress {
 public:
  virtual ~IScanProgress() = default;
  virtual void SetRange(uint32_t low, uint32_t high) = 0;
  virtual void SetPos(uint32_t position) = 0;
  virtual void SetPercentText(const std::string& text) = 0;  // control 1002
  virtual void SetFoundText(const std::string& text) = 0;    // control 1012
  virtual void SetTitle(const std::string& title) = 0;
  // Read at the top of every loop step; true once the user has cancelled.
  virtual bool IsCancelled() const = 0;
  // The scan's last act when it was not cancelled.
  virtual void OnOK() = 0;
  // A message box owned by the scan's window (caption, text).
  virtual void ShowMessage(const std::string& caption, const std::string& text) = 0;
};

// A watcher that shows nothing and never cancels, for scans nobody watches.
class CSilentProgress : public IScanProgress {
 public:
  void SetRange(uint32_t, uint32_t) override {}
  void SetPos(uint32_t) override {}
  void SetPercentText(const std::string&) override {}
  void SetFoundText(const std::string&) override {}
  void SetTitle(const std::string&) override {}
  bool IsCancelled() const override { return false; }
  void OnOK() override {}
  void ShowMessage(const std::string&, const std::string&) override {}
};

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

// Positions of a 64-bit count on the watcher's 32-bit range: shifted right
// until the total fits.
class CProgressScale {
 public:
  explicit CProgressScale(uint64_t total) {
    while ((total >> m_shift) > INT32_MAX) ++m_shift;
  }
  uint32_t operator()(uint64_t value) const { return static_cast<uint32_t>(value >> m_shift); }

 private:
  unsigned m_shift = 0;
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

#pragma once

#include <cstdio>
#include <string>

#include "scan/ScanProgress.h"

// Shows the scan's progress as one line on standard error.
class CConsoleProgress : public IScanProgress {
 public:
  // quiet: not even the scan's messages are shown.
  CConsoleProgress(bool visible, bool quiet) : m_visible(visible), m_quiet(quiet) {}
  void SetRange(uint32_t low, uint32_t high) override;
  void SetPos(uint32_t position) override;
  void SetPercentText(const std::string& text) override;
  void SetFoundText(const std::string& text) override;
  void SetTitle(const std::string& title) override;
  bool IsCancelled() const override { return false; }
  void OnOK() override;
  void ShowMessage(const std::string& caption, const std::string& text) override;
  bool Finished() const { return m_finished; }

 private:
  void Draw();
  bool m_visible;
  bool m_quiet;
  uint32_t m_low = 0, m_high = 0, m_position = 0;
  std::string m_percent, m_found, m_title;
  bool m_finished = false;
  bool m_drawn = false;
};

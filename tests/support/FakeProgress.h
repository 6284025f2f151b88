#pragma once

#include <string>
#include <vector>

#include "scan/ScanProgress.h"

// Records what a scan reports; cancels once a number of positions were shown.
class FakeProgress : public IScanProgress {
 public:
  explicit FakeProgress(int cancelAfterPositions = -1) : m_cancelAfter(cancelAfterPositions) {}
  void SetRange(uint32_t, uint32_t high) override { rangeHigh = high; }
  void SetPos(uint32_t p) override {
    positions.push_back(p);
    if (m_cancelAfter >= 0 && static_cast<int>(positions.size()) >= m_cancelAfter) cancelled = true;
  }
  void SetPercentText(const std::string& t) override { percentTexts.push_back(t); }
  void SetFoundText(const std::string& t) override { foundTexts.push_back(t); }
  void SetTitle(const std::string& t) override { titles.push_back(t); }
  bool IsCancelled() const override { return cancelled; }
  void OnOK() override { ++okCalls; }
  void ShowMessage(const std::string& caption, const std::string& text) override {
    messages.push_back(caption + "|" + text);
  }

  uint32_t rangeHigh = 0;
  std::vector<uint32_t> positions;
  std::vector<std::string> percentTexts, foundTexts, titles, messages;
  bool cancelled = false;
  int okCalls = 0;

 private:
  int m_cancelAfter;
};

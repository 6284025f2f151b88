#include "cli/ConsoleProgress.h"

void CConsoleProgress::SetRange(uint32_t low, uint32_t high) {
  m_low = low;
  m_high = high;
  m_position = low;
}

void CConsoleProgress::SetPos(uint32_t position) {
  m_position = position;
  Draw();
}

void CConsoleProgress::SetPercentText(const std::string& text) { m_percent = text; }

void CConsoleProgress::SetFoundText(const std::string& text) {
  m_found = text;
  Draw();
}

void CConsoleProgress::SetTitle(const std::string& title) {
  m_title = title;
  Draw();
}

void CConsoleProgress::Draw() {
  if (!m_visible) return;
  constexpr int kWidth = 30;
  const uint64_t span = m_high > m_low ? m_high - m_low : 0;
  const uint64_t done = m_position > m_low ? m_position - m_low : 0;
  const int filled = span == 0 ? 0 : static_cast<int>(std::min<uint64_t>(done, span) * kWidth / span);
  std::string bar(static_cast<size_t>(filled), '#');
  bar.resize(kWidth, ' ');
  std::fprintf(stderr, "\r\033[K%s [%s] %s %s", m_title.c_str(), bar.c_str(), m_percent.c_str(),
               m_found.c_str());
  std::fflush(stderr);
  m_drawn = true;
}

void CConsoleProgress::OnOK() {
  m_finished = true;
  if (m_visible && m_drawn) std::fputc('\n', stderr);
}

void CConsoleProgress::ShowMessage(const std::string& caption, const std::string& text) {
  if (m_quiet) return;
  if (m_visible && m_drawn) std::fputc('\n', stderr);
  std::fprintf(stderr, "%s%s%s\n", caption.c_str(), text.empty() ? "" : ": ", text.c_str());
}

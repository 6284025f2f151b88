#include "ui/QenloApp.h"

#include "app/ScanSession.h"
#include "ui/MessageBoxes.h"
#include "ui/ProgressDlg.h"
#include "ui/QenloDlg.h"
#include "ui/SelOneDlg.h"
#include "ui/SelectDlg.h"

namespace {
CQenloApp* g_current = nullptr;
}

CQenloApp::CQenloApp(ScanSession& session) : m_session(session) { g_current = this; }

CQenloApp::~CQenloApp() {
  if (g_current == this) g_current = nullptr;
}

CQenloApp* CQenloApp::Current() { return g_current; }

WizardOutcome CQenloApp::InitInstance() {
  const WizardOutcome outcome = RunWizardSequence(*this);
  m_driveDialog.reset();
  m_modeDialog.reset();
  return outcome;
}

int CQenloApp::RunModeDialog() {
  // Back from the drive step: the mode is chosen again.
  m_driveDialog.reset();
  m_modeDialog = std::make_unique<CSelOneDlg>(m_session);
  return m_modeDialog->exec();
}

int CQenloApp::RunDriveDialog() {
  m_driveDialog = std::make_unique<CSelectDlg>(m_session);
  return m_driveDialog->exec();
}

int CQenloApp::RunProgressDialog() {
  int result;
  std::optional<std::pair<QString, QString>> late;
  {
    CProgressDlg progress(m_session);
    result = progress.DoModal();
    late = progress.LateMessage();
  }
  if (late && result == kIdCancel) {
    // The offer to show what was found says it in the same box.
    m_stopMessage = late;
  } else if (late) {
    ShowMessageBox(nullptr, late->second, late->first);
  }
  if (result == kIdOk && !m_session.sourceError.empty()) {
    // The drive could not be read after all: say why instead of showing nothing.
    ShowMessageBox(nullptr, QString::fromUtf8("无法读取%1盘: %2")
                                .arg(QChar(m_session.selectedDrive))
                                .arg(QString::fromStdString(m_session.sourceError)));
    return kIdCancel;
  }
  return result;
}

bool CQenloApp::OfferPartialResults() {
  const size_t found = FoundFileCount(m_session);
  const QString caption = m_stopMessage ? m_stopMessage->first : QString::fromUtf8("扫描终止");
  const QString stopped = m_stopMessage ? m_stopMessage->second : QString::fromUtf8("扫描已取消。");
  m_stopMessage.reset();
  // Nothing found yet: nothing to show, and nothing lost by ending.
  if (found == 0) {
    ShowMessageBox(nullptr, stopped + QString::fromUtf8("\n没有找到文件。"), caption);
    return false;
  }
  const QString text = stopped + QString::fromUtf8("\n\n已经找到 %1 个文件。").arg(found);
  // Enter and Escape show what was found: ending the program discards it.
  return ShowMessageBoxWithButton(nullptr, text, QString::fromUtf8("显示已找到的文件"), QString::fromUtf8("结束"),
                                  caption, true);
}

bool CQenloApp::RunResultsWindow() {
  CQenloDlg results(m_session);
  m_mainWindow = &results;
  results.exec();
  m_mainWindow = nullptr;
  return results.StartOverWanted();
}

void CQenloApp::StartOver() {
  m_session.Clear();
  m_session.selectedDrive = 0;
  m_stopMessage.reset();
}

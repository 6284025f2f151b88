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
  if (late) ShowMessageBox(nullptr, late->second, late->first);
  if (result == kIdOk && !m_session.sourceError.empty()) {
    // The drive could not be read after all: say why instead of showing nothing.
    ShowMessageBox(nullptr, QString::fromUtf8("无法读取%1盘: %2")
                                .arg(QChar(m_session.selectedDrive))
                                .arg(QString::fromStdString(m_session.sourceError)));
    return kIdCancel;
  }
  return result;
}

void CQenloApp::RunResultsWindow() {
  CQenloDlg results(m_session);
  m_mainWindow = &results;
  results.exec();
  m_mainWindow = nullptr;
}

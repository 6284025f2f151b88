#pragma once
// The program run: the wizard's dialogs one after another, each modal, and
// the results window at the end. Dialogs live only as long as their step
// needs them; the mode and drive dialogs are destroyed last, in reverse order.

#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include <QString>

#include "app/Wizard.h"

class QDialog;
class CSelOneDlg;
class CSelectDlg;
class CQenloDlg;
struct ScanSession;

class CQenloApp : public IWizardSteps {
 public:
  explicit CQenloApp(ScanSession& session);
  ~CQenloApp() override;

  // Runs the whole program flow; returns when the last dialog has closed.
  WizardOutcome InitInstance();

  int RunModeDialog() override;
  int RunDriveDialog() override;
  int RunProgressDialog() override;
  bool OfferPartialResults() override;
  bool RunResultsWindow() override;
  void StartOver() override;

  // The results window while it runs: the program's main window.
  CQenloDlg* MainWindow() const { return m_mainWindow; }
  static CQenloApp* Current();

 private:
  ScanSession& m_session;
  std::unique_ptr<CSelOneDlg> m_modeDialog;
  std::unique_ptr<CSelectDlg> m_driveDialog;
  CQenloDlg* m_mainWindow = nullptr;
  // What the cancelled scan said, told with the offer to show its files.
  std::optional<std::pair<QString, QString>> m_stopMessage;
};

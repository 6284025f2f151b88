#pragma once
// The program's fixed sequence of modal steps: mode, drive, scan, results.
// The steps themselves are dialogs; the order and what each result leads to
// live here so that every front end and the tests share them.

enum DialogResult : int { kIdOk = 1, kIdCancel = 2 };

class IWizardSteps {
 public:
  virtual ~IWizardSteps() = default;
  virtual int RunModeDialog() = 0;
  virtual int RunDriveDialog() = 0;
  virtual int RunProgressDialog() = 0;
  virtual void RunResultsWindow() = 0;
};

// Which steps ran, for the caller's record.
struct WizardOutcome {
  bool driveDialogRan = false;
  bool progressDialogRan = false;
  bool resultsWindowRan = false;
};

// Cancelling any of the first three steps ends the sequence. A drive step
// that ends neither with OK nor with cancel opens the results without a scan.
WizardOutcome RunWizardSequence(IWizardSteps& steps);

#pragma once
// The program's fixed sequence of modal steps: mode, drive, scan, results.
// The steps themselves are dialogs; the order and what each result leads to
// live here so that every front end and the tests share them.

// kIdBack: the drive step's "上一步", back to the mode step.
enum DialogResult : int { kIdOk = 1, kIdCancel = 2, kIdBack = 3 };

class IWizardSteps {
 public:
  virtual ~IWizardSteps() = default;
  virtual int RunModeDialog() = 0;
  virtual int RunDriveDialog() = 0;
  virtual int RunProgressDialog() = 0;
  // A scan was cancelled: true when the user wants to see what it found until then.
  virtual bool OfferPartialResults() = 0;
  // True when the user asked to choose the mode again (nothing was found).
  virtual bool RunResultsWindow() = 0;
  // Forgets the scan, for the next one.
  virtual void StartOver() = 0;
};

// Which steps ran, for the caller's record.
struct WizardOutcome {
  bool driveDialogRan = false;
  bool progressDialogRan = false;
  bool resultsWindowRan = false;
};

// Cancelling the mode or drive step ends the sequence; the drive step can go
// back to the mode step. A cancelled scan ends it too, unless the user asks
// to see what was found so far. A drive step that ends with none of these
// opens the results without a scan. From results that found nothing the
// user may go back to the mode step and scan again.
WizardOutcome RunWizardSequence(IWizardSteps& steps);

#include "app/Wizard.h"

WizardOutcome RunWizardSequence(IWizardSteps& steps) {
  WizardOutcome outcome;
  for (;;) {
    int drive = kIdBack;
    while (drive == kIdBack) {
      if (steps.RunModeDialog() == kIdCancel) return outcome;
      outcome.driveDialogRan = true;
      drive = steps.RunDriveDialog();
    }
    if (drive == kIdCancel) return outcome;
    if (drive == kIdOk) {
      outcome.progressDialogRan = true;
      if (steps.RunProgressDialog() == kIdCancel && !steps.OfferPartialResults()) return outcome;
    }
    outcome.resultsWindowRan = true;
    if (!steps.RunResultsWindow()) return outcome;
    steps.StartOver();
  }
}

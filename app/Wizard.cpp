#include "app/Wizard.h"

WizardOutcome RunWizardSequence(IWizardSteps& steps) {
  WizardOutcome outcome;
  if (steps.RunModeDialog() == kIdCancel) return outcome;
  outcome.driveDialogRan = true;
  const int drive = steps.RunDriveDialog();
  if (drive == kIdCancel) return outcome;
  if (drive == kIdOk) {
    outcome.progressDialogRan = true;
    if (steps.RunProgressDialog() == kIdCancel) return outcome;
  }
  outcome.resultsWindowRan = true;
  steps.RunResultsWindow();
  return outcome;
}

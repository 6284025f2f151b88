#pragma once

#include <memory>
#include <string>

#include "app/ResultsModel.h"
#include "platform/Drives.h"
#include "scan/ScanThread.h"
#include "support/FakeProgress.h"
#include "support/FixtureCases.h"
#include "support/Fixtures.h"

// A fixture image scanned into a session of its own, with its results model
// unless a window is to build its own (building empties the directory map).
struct FixtureSession {
  explicit FixtureSession(const std::string& image, char letter = 'T', int32_t mode = ModeDeletedFiles,
                          bool buildModel = true, int partition = -1)
      : letter(letter) {
    std::string error;
    std::vector<char> letters;
    registered = RegisterImage(FixturePath(image) + "=" + std::string(1, letter), &error, nullptr, &letters);
    session.selectedDrive = letter;
    for (char l : letters) {
      DriveInfo drive;
      if (FindDrive(l, &drive) && drive.partition == partition) session.selectedDrive = l;
    }
    OpenSelectedDrive(session, &error);
    session.recoveryMode = mode;
    ScanThreadProc(progress, session);
    if (buildModel) model = std::make_unique<CResultsModel>(session);
  }
  FixtureSession(const FixtureCase& c, char letter, bool buildModel = true)
      : FixtureSession(c.image, letter, c.mode, buildModel, c.partition) {}
  ~FixtureSession() { ForgetDrive(letter); }

  char letter;
  bool registered = false;
  ScanSession session;
  FakeProgress progress;
  std::unique_ptr<CResultsModel> model;
};

#include "app/ScanSession.h"

#include "platform/Drives.h"

ScanSession& TheSession() {
  static ScanSession session;
  return session;
}

bool OpenSelectedDrive(ScanSession& session, std::string* error) {
  session.device = OpenDrive(session.selectedDrive, error);
  session.volumeLabel = std::string(1, session.selectedDrive);
  return session.device != nullptr;
}

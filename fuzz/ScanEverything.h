#pragma once
// A whole scan of a device, with the results tree, every row's content and a
// search, as the results window would use them.

#include <memory>

#include "app/ResultsModel.h"
#include "scan/ScanThread.h"

inline void ScanEverything(std::shared_ptr<CDevice> device, int32_t mode) {
  ScanSession session;
  session.selectedDrive = 'F';
  session.device = std::move(device);
  session.recoveryMode = mode;
  CSilentProgress progress;
  ScanThreadProc(progress, session);
  CResultsModel model(session);
  for (const CTreeNode* node : model.Tree().AllNodes()) {
    for (const FileRow& row : model.RowsOfNode(node)) {
      uint32_t length = 0;
      if (row.file) row.file->LoadContent(&length);
    }
  }
  model.FindFiles("a");
}

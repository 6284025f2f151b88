// The results window's file list with a folder of 100,000 deleted files:
// opening the window on it, scrolling to its end, and checking the whole
// folder with its box, each followed by a paint. Runs headless.

#include <QApplication>
#include <QImage>
#include <QScrollBar>
#include <QTreeWidgetItem>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "app/ScanSession.h"
#include "ui/QenloDlg.h"

namespace {
constexpr uint32_t kFiles = 100000;

void FillSession(ScanSession& session) {
  session.selectedDrive = 'B';
  session.recoveryMode = ModeDeletedFiles;
  session.fileSystem = "NTFS";
  session.resultSource = SourceNtfs;
  session.foundFiles.reserve(kFiles);
  for (uint32_t i = 0; i < kFiles; ++i) {
    FoundFile f;
    f.id = 100 + i;
    f.parentRef = kRootDirectoryId | (5ULL << 48);
    f.name = "IMG_" + std::to_string(10000 + i) + ".jpg";
    f.size = 1000 + i * 37ULL;
    f.time = 0x01DA000000000000ULL + i;
    session.foundFiles.push_back(f);
  }
}

// Resident memory in bytes, from the kernel's count of pages.
double ResidentBytes() {
  long pages = 0;
  long resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return static_cast<double>(resident) * 4096.0;
}

void Paint(CQenloDlg& window, QImage& canvas) { window.FileList()->viewport()->render(&canvas); }

void BM_FileListOpen(benchmark::State& state) {
  ScanSession session;
  FillSession(session);
  QImage canvas(1000, 600, QImage::Format_RGB32);
  double grown = 0;
  for (auto _ : state) {
    const double before = ResidentBytes();
    auto window = std::make_unique<CQenloDlg>(session);
    window->resize(1280, 800);
    Paint(*window, canvas);
    // The first window takes its memory from the system; later ones reuse what it freed.
    grown = std::max(grown, ResidentBytes() - before);
    state.PauseTiming();
    window.reset();
    state.ResumeTiming();
  }
  state.counters["rows"] = kFiles;
  state.counters["resident MiB grown"] = grown / (1 << 20);
}
BENCHMARK(BM_FileListOpen)->Unit(benchmark::kMillisecond)->Iterations(3);

// A window open on the folder of 100,000 files, and a canvas to paint its list on.
struct LargeFolderWindow {
  LargeFolderWindow() {
    FillSession(session);
    window = std::make_unique<CQenloDlg>(session);
    window->resize(1280, 800);
  }
  void Paint() { ::Paint(*window, canvas); }

  ScanSession session;
  std::unique_ptr<CQenloDlg> window;
  QImage canvas{1000, 600, QImage::Format_RGB32};
};

void BM_FileListScrollToEnd(benchmark::State& state) {
  LargeFolderWindow large;
  QScrollBar* bar = large.window->FileList()->verticalScrollBar();
  for (auto _ : state) {
    bar->setValue(bar->maximum());
    large.Paint();
    bar->setValue(0);
    large.Paint();
  }
}
BENCHMARK(BM_FileListScrollToEnd)->Unit(benchmark::kMillisecond);

void BM_FileListCheckWholeFolder(benchmark::State& state) {
  LargeFolderWindow large;
  QTreeWidgetItem* deleted = large.window->ItemOfNode(large.window->Model().Tree().GetDeletedNode());
  bool checked = false;
  for (auto _ : state) {
    checked = !checked;
    // What a click on the folder's box does: the tree item changes, the model and every row follow.
    deleted->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
    large.Paint();
  }
}
BENCHMARK(BM_FileListCheckWholeFolder)->Unit(benchmark::kMillisecond);

void BM_FileListSortByName(benchmark::State& state) {
  LargeFolderWindow large;
  bool ascending = false;
  for (auto _ : state) {
    ascending = !ascending;
    large.window->FileList()->sortByColumn(kNameColumn, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    large.Paint();
  }
}
BENCHMARK(BM_FileListSortByName)->Unit(benchmark::kMillisecond);
}  // namespace

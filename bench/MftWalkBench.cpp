// The MFT walk of a whole image, as the deleted-file scan runs it.
// MAROVI_BENCH_IMAGE names the image; without it the benchmark is skipped.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdlib>

#include "platform/Drives.h"
#include "scan/ScanThread.h"

namespace {

class SilentProgress : public IScanProgress {
 public:
  void SetRange(uint32_t, uint32_t) override {}
  void SetPos(uint32_t) override {}
  void SetPercentText(const std::string&) override {}
  void SetFoundText(const std::string&) override {}
  void SetTitle(const std::string&) override {}
  bool IsCancelled() const override { return false; }
  void OnOK() override {}
  void ShowMessage(const std::string&, const std::string&) override {}
};

void BM_MftWalk(benchmark::State& state) {
  const char* image = std::getenv("MAROVI_BENCH_IMAGE");
  if (image == nullptr) {
    state.SkipWithError("set MAROVI_BENCH_IMAGE to an NTFS image");
    return;
  }
  std::string error;
  char letter = 0;
  if (!RegisterImage(image, &error, &letter)) {
    state.SkipWithError(error.c_str());
    return;
  }
  size_t files = 0;
  for (auto _ : state) {
    ScanSession session;
    session.selectedDrive = letter;
    session.recoveryMode = ModeDeletedFiles;
    SilentProgress progress;
    ScanThreadProc(progress, session);
    files = session.foundFiles.size();
    benchmark::DoNotOptimize(files);
  }
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["deleted_files"] = static_cast<double>(files);
  state.counters["peak_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
  ForgetDrive(letter);
}
BENCHMARK(BM_MftWalk)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();

// Whole scans of an image, as the scan thread runs them: the MFT walk of
// MAROVI_BENCH_IMAGE and the signature scan of MAROVI_BENCH_CARVE_IMAGE.
// A benchmark whose image is not named is skipped.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdlib>

#include "platform/Drives.h"
#include "scan/ScanThread.h"

namespace {


void ScanImage(benchmark::State& state, const char* variable, int32_t mode) {
  const char* image = std::getenv(variable);
  if (image == nullptr) {
    state.SkipWithError((std::string("set ") + variable + " to an image").c_str());
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
    session.recoveryMode = mode;
    CSilentProgress progress;
    ScanThreadProc(progress, session);
    files = session.foundFiles.size();
    benchmark::DoNotOptimize(files);
  }
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  DriveInfo drive;
  FindDrive(letter, &drive);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * drive.totalSize));
  state.counters["files"] = static_cast<double>(files);
  state.counters["peak_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
  ForgetDrive(letter);
}

void BM_MftWalk(benchmark::State& state) { ScanImage(state, "MAROVI_BENCH_IMAGE", ModeDeletedFiles); }
void BM_SignatureScan(benchmark::State& state) { ScanImage(state, "MAROVI_BENCH_CARVE_IMAGE", ModeUniversal); }
BENCHMARK(BM_MftWalk)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SignatureScan)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();

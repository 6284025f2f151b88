// Whole scans of an image, as the scan thread runs them: the MFT walk of
// MAROVI_BENCH_IMAGE and the signature scan of MAROVI_BENCH_CARVE_IMAGE, and
// the results model built from the MFT walk's results. A benchmark whose
// image is not named is skipped.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <array>
#include <cstdlib>

#include "app/ResultsModel.h"
#include "app/ScanSession.h"
#include "platform/Drives.h"
#include "scan/ScanThread.h"

namespace {

// Registers the image a variable names; 0 with the benchmark skipped when it cannot.
char RegisterBenchImage(benchmark::State& state, const char* variable) {
  const char* image = std::getenv(variable);
  if (image == nullptr) {
    state.SkipWithError((std::string("set ") + variable + " to an image").c_str());
    return 0;
  }
  std::string error;
  char letter = 0;
  if (!RegisterImage(image, &error, &letter)) {
    state.SkipWithError(error.c_str());
    return 0;
  }
  return letter;
}

void ScanInto(ScanSession& session, char letter, int32_t mode) {
  session.selectedDrive = letter;
  session.recoveryMode = mode;
  std::string error;
  OpenSelectedDrive(session, &error);
  CSilentProgress progress;
  ScanThreadProc(progress, session);
}

void ReportPeakMemory(benchmark::State& state) {
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void ScanImage(benchmark::State& state, const char* variable, int32_t mode) {
  const char letter = RegisterBenchImage(state, variable);
  if (letter == 0) return;
  size_t files = 0;
  for (auto _ : state) {
    ScanSession session;
    ScanInto(session, letter, mode);
    files = session.foundFiles.size();
    benchmark::DoNotOptimize(files);
  }
  DriveInfo drive;
  FindDrive(letter, &drive);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * drive.totalSize));
  state.counters["files"] = static_cast<double>(files);
  ReportPeakMemory(state);
  ForgetDrive(letter);
}

// The tree, the index of files by folder and the first list, as the results
// window builds them when it opens.
void BM_ResultsModel(benchmark::State& state) {
  const char letter = RegisterBenchImage(state, "MAROVI_BENCH_IMAGE");
  if (letter == 0) return;
  size_t nodes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto session = std::make_unique<ScanSession>();
    ScanInto(*session, letter, ModeDeletedFiles);
    state.ResumeTiming();
    CResultsModel model(*session);
    nodes = model.Tree().AllNodes().size();
    benchmark::DoNotOptimize(nodes);
    state.PauseTiming();
    session.reset();
    state.ResumeTiming();
  }
  state.counters["nodes"] = static_cast<double>(nodes);
  ReportPeakMemory(state);
  ForgetDrive(letter);
}

// Every found file's condition, worked out as the results window does it
// behind the open window (here on the benchmark's own thread).
void BM_Conditions(benchmark::State& state) {
  const char letter = RegisterBenchImage(state, "MAROVI_BENCH_IMAGE");
  if (letter == 0) return;
  size_t files = 0;
  std::array<size_t, 6> counts{};
  for (auto _ : state) {
    state.PauseTiming();
    auto session = std::make_unique<ScanSession>();
    ScanInto(*session, letter, ModeDeletedFiles);
    auto model = std::make_unique<CResultsModel>(*session);
    state.ResumeTiming();
    model->Conditions().RunHere();
    state.PauseTiming();
    files = model->Conditions().Total();
    counts = {};
    for (size_t i = 0; i < session->foundFiles.size(); ++i) {
      ++counts[static_cast<size_t>(model->Conditions().OfFound(i))];
    }
    model.reset();
    session.reset();
    state.ResumeTiming();
  }
  state.counters["files"] = static_cast<double>(files);
  for (size_t c = 1; c < counts.size(); ++c) {
    state.counters[ConditionName(static_cast<FileCondition>(c))] = static_cast<double>(counts[c]);
  }
  ReportPeakMemory(state);
  ForgetDrive(letter);
}

void BM_MftWalk(benchmark::State& state) { ScanImage(state, "MAROVI_BENCH_IMAGE", ModeDeletedFiles); }
void BM_SignatureScan(benchmark::State& state) { ScanImage(state, "MAROVI_BENCH_CARVE_IMAGE", ModeUniversal); }
BENCHMARK(BM_MftWalk)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ResultsModel)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Conditions)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SignatureScan)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();

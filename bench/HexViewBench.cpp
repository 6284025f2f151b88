// The hex view with a 10 MiB file: handing it the bytes, and one paint at
// the top, the middle and the end. Runs headless.

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <benchmark/benchmark.h>

#include <vector>

#include "ui/HexView.h"

namespace {
std::vector<uint8_t> TenMebibytes() {
  std::vector<uint8_t> data(10u << 20);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 131 + (i >> 9));
  return data;
}

void BM_HexViewSetData(benchmark::State& state) {
  const std::vector<uint8_t> data = TenMebibytes();
  CHexView view;
  view.resize(800, 300);
  for (auto _ : state) {
    view.SetData(data.data(), data.size(), data.size() + 10);
    benchmark::DoNotOptimize(view.DataLength());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_HexViewSetData)->Unit(benchmark::kMillisecond);

void BM_HexViewPaint(benchmark::State& state) {
  const std::vector<uint8_t> data = TenMebibytes();
  CHexView view;
  view.resize(800, 300);
  view.SetData(data.data(), data.size(), data.size() + 10);
  QScrollBar* bar = view.verticalScrollBar();
  const int positions[] = {0, bar->maximum() / 2, bar->maximum()};
  QImage canvas(800, 300, QImage::Format_RGB32);
  for (auto _ : state) {
    for (int position : positions) {
      bar->setValue(position);
      view.render(&canvas);
    }
  }
  state.counters["rows painted"] = static_cast<double>(view.PaintedRows().second);
}
BENCHMARK(BM_HexViewPaint)->Unit(benchmark::kMillisecond);
}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}

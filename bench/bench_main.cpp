// bench_main.cpp: the main of every benchmark program. It adds the memcpy baseline
// (one 320x200 frame of 32-bit pixels) and, after the usual report, prints each result
// as a multiple of that baseline measured in the same run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::size_t frame_bytes = 320 * 200 * 4;

void BM_memcpy_frame(benchmark::State& state) {
  std::vector<std::uint8_t> src(frame_bytes, 0x5a), dst(frame_bytes);
  for (auto _ : state) {
    std::memcpy(dst.data(), src.data(), frame_bytes);
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(frame_bytes));
}
BENCHMARK(BM_memcpy_frame);

// Keeps the console output and remembers each benchmark's best time per iteration. With
// --benchmark_repetitions the best of the repetitions is used, which is the figure least
// disturbed by other work on the machine.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations == 0) continue;
      // Seconds per iteration, independent of each benchmark's display unit.
      const double time = run.real_accumulated_time / double(run.iterations);
      const std::string name = run.run_name.str();
      bool found = false;
      for (Result& r : results_)
        if (r.name == name) {
          r.time = std::min(r.time, time);
          found = true;
        }
      if (!found) results_.push_back({name, time});
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    double baseline = 0;
    for (const auto& r : results_)
      if (r.name == "BM_memcpy_frame") baseline = r.time;
    if (baseline <= 0) return;
    std::printf("\n%-60s %10s\n", "ratio to BM_memcpy_frame (same run, best of repetitions)", "x memcpy");
    for (const auto& r : results_) std::printf("%-60s %10.2f\n", r.name.c_str(), r.time / baseline);
  }

 private:
  struct Result {
    std::string name;
    double time;
  };
  std::vector<Result> results_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

// The event log's cost to its callers: record() runs on capture, relay and main-actor paths and
// must stay a small, non-blocking hand-off; encoding and appending happen on the log's queue.
#include <benchmark/benchmark.h>

#include "model/diagnostic_event.h"
#include "model/diagnostic_reporter.h"
#include "runtime/serial_queue.h"
#include "support/temporary_folder.h"

namespace {

using corvane::model::DiagnosticEvent;
using corvane::model::DiagnosticReporter;

const std::map<std::string, std::string>& typicalFields() {
  static const std::map<std::string, std::string> fields{{"durationMS", "41"},
                                                         {"displayID", "1"},
                                                         {"width", "1920"},
                                                         {"height", "1080"},
                                                         {"phase", "sharing"}};
  return fields;
}

// Caller-side cost of one record() with five fields; the queue writes in the background.
void BM_RecordCallerCost(benchmark::State& state) {
  corvane::testing::TemporaryFolder folder;
  auto reporter = std::make_shared<DiagnosticReporter>(
      folder / "Diagnostics", std::make_shared<corvane::runtime::ThreadSerialQueue>("bench"),
      folder / "tmp");
  for (auto _ : state) reporter->record("protected_share_frame_report", typicalFields());
  state.SetItemsProcessed(state.iterations());
  reporter->flush();
}
// A fixed count that stays below the log's backlog limit, so every call takes the normal path.
// Real time: a caller that waits on the queue's lock spends no CPU time but still waits.
BENCHMARK(BM_RecordCallerCost)->Iterations(50000)->UseRealTime();

// Whole cost per event on the queue: encoding, appending and rotation.
void BM_RecordAndWrite(benchmark::State& state) {
  corvane::testing::TemporaryFolder folder;
  auto reporter = std::make_shared<DiagnosticReporter>(
      folder / "Diagnostics", std::make_shared<corvane::runtime::ThreadSerialQueue>("bench"),
      folder / "tmp");
  for (auto _ : state) {
    for (int i = 0; i < 100; ++i) reporter->record("protected_share_frame_report", typicalFields());
    reporter->flush();
  }
  state.SetItemsProcessed(state.iterations() * 100);
}
// The work happens on the log's own thread: throughput in real time, not the caller's CPU time.
BENCHMARK(BM_RecordAndWrite)->UseRealTime();

void BM_EncodeLine(benchmark::State& state) {
  const DiagnosticEvent event{std::chrono::system_clock::now(), "protected_share_frame_report",
                              typicalFields()};
  for (auto _ : state) benchmark::DoNotOptimize(corvane::model::encodeDiagnosticLine(event));
}
BENCHMARK(BM_EncodeLine);

}  // namespace

BENCHMARK_MAIN();

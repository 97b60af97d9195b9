// The search against the floor of reading the score: a complete Mark-mode
// search, in measures and in seconds, against a bare pass that loads every
// frame once through the same host operations, staff by staff; and the same
// pass in a tempo map's order, to show what the order costs.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench_main.h"
#include "generated_score.h"
#include "quivrasim/host.h"
#include "quivrasim/operations.h"
#include "quivrasim/plugin.h"
#include "resources/resource_ids.h"

namespace {

using quivrasim::DialogSession;

ostinel_bench::ScoreShape g_shape;
bool g_failed = false;

struct Session {
  quivrasim::Host host;
  std::unique_ptr<quivrasim::Plugin> plugin;
  int64_t entries = 0;

  Session() {
    entries = ostinel_bench::GenerateScore(host.Doc(), g_shape);
    std::string error;
    plugin = quivrasim::Plugin::Load(host, OSTINEL_PLUGIN_PATH, &error);
    if (!plugin) {
      std::fprintf(stderr, "%s\n", error.c_str());
      std::exit(1);
    }
    plugin->Start();
  }
};

Session& Shared() {
  static Session session;
  return session;
}

// Loads a frame and frees it; its entry count (0 when there is none).
int LoadAndFree(int slot, int measure, int layer, uint16_t mode) {
  QXFrame* frame = QX_LoadTGF(0, static_cast<uint16_t>(slot), static_cast<uint16_t>(measure),
                              static_cast<uint16_t>(layer), mode, kQXVersionCurrent);
  if (frame == nullptr) return 0;
  const int entries = frame->entryCount;
  QX_FreeTGF(frame, kQXVersionCurrent);
  return entries;
}

// How many frames the score has: every staff, measure and layer.
int Frames() { return g_shape.staves * g_shape.measures * QX_GetMaxLayers(kQXVersionCurrent); }

// Every frame of every staff, measure and layer, loaded and freed once.
int64_t BarePass(quivrasim::Host& host) {
  int64_t entries = 0;
  const QXRegion document = host.DocumentRegion();
  const int16_t layers = QX_GetMaxLayers(kQXVersionCurrent);
  for (int slot = document.startSlot; slot <= document.endSlot; ++slot) {
    for (int measure = document.startMeasure; measure <= document.endMeasure; ++measure) {
      for (int layer = 0; layer < layers; ++layer) entries += LoadAndFree(slot, measure, layer, 1);
    }
  }
  return entries;
}

// The same loads in a tempo map's order (and its load mode): measure by
// measure, and in each measure layer by layer across the staves.
int64_t BarePassAcross(quivrasim::Host& host) {
  int64_t entries = 0;
  const QXRegion document = host.DocumentRegion();
  const int16_t layers = QX_GetMaxLayers(kQXVersionCurrent);
  for (int measure = document.startMeasure; measure <= document.endMeasure; ++measure) {
    for (int layer = 0; layer < layers; ++layer) {
      for (int slot = document.startSlot; slot <= document.endSlot; ++slot) {
        entries += LoadAndFree(slot, measure, layer, 0);
      }
    }
  }
  return entries;
}

void BM_BarePass(benchmark::State& state) {
  Session& session = Shared();
  int64_t entries = 0;
  for (auto _ : state) entries = BarePass(session.host);
  benchmark::DoNotOptimize(entries);
  state.counters["frames"] = Frames();
  state.counters["entries"] = static_cast<double>(entries);
}

void BM_BarePassAcross(benchmark::State& state) {
  Session& session = Shared();
  int64_t entries = 0;
  for (auto _ : state) entries = BarePassAcross(session.host);
  benchmark::DoNotOptimize(entries);
  state.counters["entries"] = static_cast<double>(entries);
}

double Seconds(const std::function<void()>& run) {
  const auto start = std::chrono::steady_clock::now();
  run();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Sets up a Mark-mode search as a user would start it, with the host's logs
// as fresh as a new host's: a log the last search grew would otherwise be
// grown further, page by page, inside the next search's time.
void Prepare(Session& session, bool measures) {
  session.host.OnDialog([measures](DialogSession& d) {
    d.Click(IDC_MODE_MARK);
    d.Click(measures ? IDC_MEASURES : IDC_SECONDS);
    d.Type(IDC_THRESHOLD, measures ? "20" : "40");
    d.Click(IDC_START);
    d.Click(IDC_CLOSE);
  });
  session.host.ResetCounters();
  session.host.ProgressRuns().clear();
  session.host.Alerts().clear();
}

// Undoes the search's edit, so the next search finds the score as it was.
void Finish(Session& session) { session.host.Doc().Undo(); }

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void MarkSearch(benchmark::State& state, bool measures) {
  Session& session = Shared();
  int marked = 0;
  int loads = 0;
  // Each search against a bare pass made right after it (untimed): paired,
  // the ratio holds when the machine's speed drifts, where a floor taken
  // once would make every ratio of the run as lucky or unlucky as it was.
  std::vector<double> ratios;
  // A seconds search is the measures search's walk plus the tempo map's pass
  // over every frame: against those two, made right after it, it shows what
  // it costs beyond them.
  std::vector<double> overParts;
  const int frames = Frames();
  for (auto _ : state) {
    state.PauseTiming();
    Prepare(session, measures);
    state.ResumeTiming();
    const double searched = Seconds([&] { session.plugin->Invoke(); });
    state.PauseTiming();
    marked = static_cast<int>(session.host.Doc().Records().Count(QXTag('d', 't', 'm', 't')));
    loads = session.host.TotalFrameLoads();
    Finish(session);
    ratios.push_back(searched / Seconds([&] { benchmark::DoNotOptimize(BarePass(session.host)); }));
    if (!measures) {
      Prepare(session, true);
      const double walk = Seconds([&] { session.plugin->Invoke(); });
      const int walkLoads = session.host.TotalFrameLoads();
      Finish(session);
      if (walkLoads + frames != loads) {
        state.SkipWithError("the measures search's walk loads other frames than the seconds search's");
        g_failed = true;
        return;
      }
      const double map = Seconds([&] { benchmark::DoNotOptimize(BarePassAcross(session.host)); });
      overParts.push_back(searched / (walk + map));
    }
    state.ResumeTiming();
  }
  const double ratio = Median(ratios);
  state.counters["locations"] = marked;
  state.counters["frame_loads"] = loads;
  state.counters["x_bare_pass"] = ratio;
  // Over the time as many loads take in the bare pass: what the search costs
  // beyond the loads it must make.
  state.counters["x_its_loads"] = ratio * frames / loads;
  if (!measures) state.counters["x_walk_and_map"] = Median(overParts);
}

void BM_MarkSearchMeasures(benchmark::State& state) { MarkSearch(state, true); }
void BM_MarkSearchSeconds(benchmark::State& state) { MarkSearch(state, false); }

BENCHMARK(BM_BarePass)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BarePassAcross)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MarkSearchMeasures)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MarkSearchSeconds)->Unit(benchmark::kMillisecond);

}  // namespace

// Besides Google Benchmark's flags: --staves=N --measures=N (100 and 1000).
int main(int argc, char** argv) {
  return ostinel_bench::RunBenchmarks(argc, argv, {{"staves", &g_shape.staves}, {"measures", &g_shape.measures}},
                                      &g_failed);
}

// The whole ostinel command against the floor of handling the file at all:
// pugixml loading and saving the same score.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <pugixml.hpp>
#include <string>

#include "bench_main.h"
#include "command.h"
#include "musicxml_score.h"

namespace {

int g_parts = 60;
int g_measures = 1000;
std::string g_directory;
std::string g_score;

void Prepare() {
  if (!g_score.empty()) return;
  char pattern[] = "/tmp/ostinel-bench-XXXXXX";
  g_directory = mkdtemp(pattern);
  g_score = g_directory + "/large.musicxml";
  const std::string xml = ostinel_bench::GenerateMusicXml(g_parts, g_measures);
  std::FILE* file = std::fopen(g_score.c_str(), "w");
  std::fwrite(xml.data(), 1, xml.size(), file);
  std::fclose(file);
}

double g_floor = 0.0;

double Floor() {
  pugi::xml_document document;
  const auto start = std::chrono::steady_clock::now();
  document.load_file(g_score.c_str(), pugi::parse_default | pugi::parse_declaration | pugi::parse_doctype);
  document.save_file((g_directory + "/floor.musicxml").c_str(), "  ");
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_PugixmlLoadAndSave(benchmark::State& state) {
  Prepare();
  for (auto _ : state) benchmark::DoNotOptimize(Floor());
  std::FILE* file = std::fopen(g_score.c_str(), "r");
  std::fseek(file, 0, SEEK_END);
  state.counters["megabytes"] = static_cast<double>(std::ftell(file)) / 1e6;
  std::fclose(file);
}

void BM_OstinelCommand(benchmark::State& state) {
  Prepare();
  if (g_floor == 0.0) {
    for (int i = 0; i < 3; ++i) {
      const double seconds = Floor();
      if (g_floor == 0.0 || seconds < g_floor) g_floor = seconds;
    }
  }
  const std::string output = g_directory + "/large.cued.musicxml";
  const std::string config = g_directory + "/config";
  const char* argv[] = {"ostinel",     g_score.c_str(), "-o",      output.c_str(), "--config-dir", config.c_str(),
                        "--mode",      "add",           "--measures", "--threshold", "20",         "--no-progress"};
  ostinel_cli::CommandIo io;
  io.out = std::fopen("/dev/null", "w");
  double total = 0.0;
  int status = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    status = ostinel_cli::RunCommand(static_cast<int>(std::size(argv)), argv, io);
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  std::fclose(io.out);
  if (status != 0) state.SkipWithError("the command failed");
  state.counters["x_pugixml"] = total / static_cast<double>(state.iterations()) / g_floor;
}

BENCHMARK(BM_PugixmlLoadAndSave)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OstinelCommand)->Unit(benchmark::kMillisecond);

}  // namespace

// Besides Google Benchmark's flags: --parts=N --measures=N (60 and 1000).
int main(int argc, char** argv) {
  const int status = ostinel_bench::RunBenchmarks(argc, argv, {{"parts", &g_parts}, {"measures", &g_measures}});
  if (!g_directory.empty()) std::filesystem::remove_all(g_directory);
  return status;
}

// The whole ostinel command against the floor of handling the file at all:
// pugixml loading and saving the same score.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <pugixml.hpp>
#include <random>
#include <sstream>
#include <string>

#include "bench_main.h"
#include "command.h"

namespace {

int g_parts = 60;
int g_measures = 1000;
std::string g_directory;
std::string g_score;

// A partwise score: each part alternates phrases of quarters and eighths
// (with slurs, staccatos and dynamics) and rests of 4 to 60 measures; the
// first part carries tempo marks.
std::string Generate(int parts, int measures) {
  std::mt19937 random(60);
  auto between = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
  std::ostringstream xml;
  xml << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<score-partwise version=\"4.0\"><part-list>";
  for (int p = 1; p <= parts; ++p) {
    xml << "<score-part id=\"P" << p << "\"><part-name>Part " << p << "</part-name><part-abbreviation>P" << p
        << "</part-abbreviation></score-part>";
  }
  xml << "</part-list>";
  const char* steps = "CDEFGAB";
  for (int p = 1; p <= parts; ++p) {
    xml << "<part id=\"P" << p << "\">";
    int m = 1;
    bool playing = between(0, 1) == 0;
    int left = between(4, 30);
    for (; m <= measures; ++m, --left) {
      if (left == 0) {
        playing = !playing;
        left = playing ? between(6, 40) : between(4, 60);
      }
      xml << "<measure number=\"" << m << "\">";
      if (m == 1) {
        xml << "<attributes><divisions>2</divisions><key><fifths>0</fifths></key><time><beats>4</beats>"
               "<beat-type>4</beat-type></time><clef><sign>G</sign><line>2</line></clef></attributes>";
      }
      if (p == 1 && m % 60 == 1) {
        xml << "<direction placement=\"above\"><direction-type><metronome><beat-unit>quarter</beat-unit>"
               "<per-minute>"
            << between(60, 140) << "</per-minute></metronome></direction-type></direction>";
      }
      if (!playing) {
        xml << "<note><rest measure=\"yes\"/><duration>8</duration><voice>1</voice></note>";
      } else {
        if (left % 8 == 0) {
          xml << "<direction placement=\"below\"><direction-type><dynamics><mf/></dynamics></direction-type>"
                 "</direction>";
        }
        for (int beat = 0; beat < 4; ++beat) {
          const int pair = between(0, 2) == 0 ? 2 : 1;
          for (int n = 0; n < pair; ++n) {
            xml << "<note><pitch><step>" << steps[between(0, 6)] << "</step><octave>" << between(4, 5)
                << "</octave></pitch><duration>" << 2 / pair << "</duration><voice>1</voice><type>"
                << (pair == 2 ? "eighth" : "quarter") << "</type>";
            if (pair == 2) {
              xml << "<notations><slur type=\"" << (n == 0 ? "start" : "stop") << "\" number=\"1\"/></notations>";
            } else if (beat == 0) {
              xml << "<notations><articulations><staccato/></articulations></notations>";
            }
            xml << "</note>";
          }
        }
      }
      xml << "</measure>";
    }
    xml << "</part>";
  }
  xml << "</score-partwise>\n";
  return xml.str();
}

void Prepare() {
  if (!g_score.empty()) return;
  char pattern[] = "/tmp/ostinel-bench-XXXXXX";
  g_directory = mkdtemp(pattern);
  g_score = g_directory + "/large.musicxml";
  const std::string xml = Generate(g_parts, g_measures);
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

// The main of a benchmark program: the benchmark's own size options
// (--name=N) taken out of the command line, the rest left to Google Benchmark.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace ostinel_bench {

// Fails (1) when a benchmark stopped on an error and said so in *failed: a run
// whose figures cannot be trusted must not pass as one that worked.
inline int RunBenchmarks(int argc, char** argv, const std::vector<std::pair<std::string, int*>>& sizes,
                         const bool* failed = nullptr) {
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    bool taken = false;
    for (const auto& [name, value] : sizes) {
      const std::string prefix = "--" + name + "=";
      if (argument.rfind(prefix, 0) == 0) {
        *value = std::atoi(argument.c_str() + prefix.size());
        taken = true;
      }
    }
    if (!taken) argv[kept++] = argv[i];
  }
  argc = kept;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return failed != nullptr && *failed ? 1 : 0;
}

}  // namespace ostinel_bench

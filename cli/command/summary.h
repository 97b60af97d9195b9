// What a run did, for the user: a line per location and the plug-in's
// messages, as text or as JSON.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "exporter.h"
#include "importer.h"
#include "session.h"

namespace ostinel_cli {

struct RunSummary {
  std::string input;
  std::string output;  // empty when nothing was written
  const ImportedScore* score = nullptr;
  const SessionResult* session = nullptr;
  ExportCounts counts;
};

// A line per location, the plug-in's messages, and where the score was written.
std::vector<std::string> SummaryLines(const RunSummary& summary);
void PrintSummary(std::FILE* out, const RunSummary& summary);
std::string SummaryJson(const RunSummary& summary);

}  // namespace ostinel_cli

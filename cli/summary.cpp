#include "summary.h"

#include <sstream>

namespace ostinel_cli {

namespace {

std::string Quote(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    switch (c) {
      case '"':
        quoted += "\\\"";
        break;
      case '\\':
        quoted += "\\\\";
        break;
      case '\n':
        quoted += "\\n";
        break;
      case '\r':
        quoted += "\\r";
        break;
      case '\t':
        quoted += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          quoted += escaped;
        } else {
          quoted += c;
        }
    }
  }
  return quoted + "\"";
}

// "Fl., actual measure 8 to 12" from the caption, "" for none.
std::string Proposal(const std::string& caption) {
  const std::string prefix = "Use Proposed Cue:  ";
  return caption.rfind(prefix, 0) == 0 ? caption.substr(prefix.size()) : std::string();
}

std::string Staves(const ImportedScore& score, const std::vector<int>& slots) {
  std::string text;
  for (const int slot : slots) text += (text.empty() ? "" : ", ") + score.StaffName(slot);
  return text;
}

}  // namespace

void PrintSummary(std::FILE* out, const RunSummary& summary) {
  const ImportedScore& score = *summary.score;
  for (const Location& location : summary.session->locations) {
    const int measures = location.restEnd - location.restStart + 1;
    std::string line = score.StaffName(location.slot) + ": rest in measures " + std::to_string(location.restStart) +
                       "-" + std::to_string(location.restEnd) + " (" + std::to_string(measures) +
                       (measures == 1 ? " measure)" : " measures)");
    if (location.action != "marked") {
      const std::string proposal = Proposal(location.proposal);
      line += proposal.empty() ? "; no proposed cue" : "; proposed cue " + proposal;
    }
    std::string action = location.action;
    if (action.rfind("cue written", 0) == 0) action.insert(11, " to " + Staves(score, location.destinations));
    line += "; " + action;
    std::fprintf(out, "%s\n", line.c_str());
  }
  for (const std::string& message : summary.session->messages) std::fprintf(out, "%s\n", message.c_str());
  if (!summary.output.empty()) std::fprintf(out, "Written: %s\n", summary.output.c_str());
}

std::string SummaryJson(const RunSummary& summary) {
  const ImportedScore& score = *summary.score;
  std::ostringstream json;
  json << "{\n  \"input\": " << Quote(summary.input) << ",\n  \"output\": "
       << (summary.output.empty() ? "null" : Quote(summary.output)) << ",\n  \"locations\": [";
  bool first = true;
  for (const Location& location : summary.session->locations) {
    json << (first ? "\n" : ",\n") << "    {\"staff\": " << Quote(score.StaffName(location.slot))
         << ", \"slot\": " << location.slot << ", \"restStart\": " << location.restStart
         << ", \"restEnd\": " << location.restEnd
         << ", \"restMeasures\": " << location.restEnd - location.restStart + 1 << ", \"proposal\": ";
    const std::string proposal = Proposal(location.proposal);
    json << (proposal.empty() ? "null" : Quote(proposal)) << ", \"action\": " << Quote(location.action)
         << ", \"destinations\": [";
    for (size_t i = 0; i < location.destinations.size(); ++i) {
      json << (i ? ", " : "") << Quote(score.StaffName(location.destinations[i]));
    }
    json << "], \"destinationSlots\": [";
    for (size_t i = 0; i < location.destinations.size(); ++i) json << (i ? ", " : "") << location.destinations[i];
    json << "]}";
    first = false;
  }
  json << (first ? "" : "\n  ") << "],\n  \"messages\": [";
  for (size_t i = 0; i < summary.session->messages.size(); ++i) {
    json << (i ? ", " : "") << Quote(summary.session->messages[i]);
  }
  json << "],\n  \"cueNotes\": " << summary.counts.cueNotes << ",\n  \"cueNames\": " << summary.counts.cueNames
       << ",\n  \"markers\": " << summary.counts.markers << "\n}\n";
  return json.str();
}

}  // namespace ostinel_cli

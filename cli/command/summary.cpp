#include "summary.h"

#include <cmath>
#include <map>
#include <nlohmann/json.hpp>

#include "shown_text.h"

namespace ostinel_cli {

namespace {

std::string Staves(const ImportedScore& score, const std::vector<int>& slots) {
  std::string text;
  for (const int slot : slots) text += (text.empty() ? "" : ", ") + score.StaffName(slot);
  return text;
}

std::string Range(const ImportedScore& score, int first, int last) {
  return score.MeasureNumber(first) + "-" + score.MeasureNumber(last);
}

// "Ob., measures 26-30" (the staff's name when it is known, else the name the dialog gave).
std::string Source(const ImportedScore& score, const Location& location, const CueSource& source) {
  const std::string staff = source.slot != 0 ? score.StaffName(source.slot) : location.proposalName;
  return staff + ", measures " + Range(score, source.first, source.last);
}

}  // namespace

std::vector<std::string> SummaryLines(const RunSummary& summary) {
  std::vector<std::string> lines;
  const ImportedScore& score = *summary.score;
  for (const Location& location : summary.session->locations) {
    const int measures = location.restEnd - location.restStart + 1;
    std::string line = score.StaffName(location.slot) + ": rest in measures " +
                       Range(score, location.restStart, location.restEnd) + " (" + std::to_string(measures) +
                       (measures == 1 ? " measure)" : " measures)");
    if (location.action != Action::Marked) {
      line += location.proposal ? "; proposed cue " + Source(score, location, *location.proposal) : "; no proposed cue";
    }
    line += std::string("; ") + ActionWords(location.action);
    if (!location.destinations.empty()) line += " to " + Staves(score, location.destinations);
    if (location.source && location.proposal &&
        (location.source->slot != location.proposal->slot || location.source->first != location.proposal->first ||
         location.source->last != location.proposal->last)) {
      line += " from " + Source(score, location, *location.source);
    } else if (location.source && !location.proposal) {
      line += " from " + Source(score, location, *location.source);
    }
    if (!location.message.empty()) {
      // The plug-in's message on one line.
      std::string message;
      for (const char c : location.message) {
        const bool blank = c == ' ' || c == '\n' || c == '\r' || c == '\t';
        if (!blank || (!message.empty() && message.back() != ' ')) message += blank ? ' ' : c;
      }
      while (!message.empty() && message.back() == ' ') message.pop_back();
      line += ": " + message;
    }
    lines.push_back(line);
  }
  for (const std::string& message : summary.session->messages) lines.push_back(message);
  if (!summary.output.empty()) lines.push_back("Written: " + summary.output);
  return lines;
}

void PrintSummary(std::FILE* out, const RunSummary& summary) {
  for (const std::string& line : SummaryLines(summary)) std::fprintf(out, "%s\n", Printable(line).c_str());
}

std::string SummaryJson(const RunSummary& summary) {
  using Json = nlohmann::ordered_json;
  const ImportedScore& score = *summary.score;
  auto staff = [&](int slot) {
    const PartLayout* part = score.PartOfSlot(slot, nullptr);
    return Json{{"name", score.StaffName(slot)}, {"slot", slot}, {"part", part != nullptr ? part->id : ""}};
  };
  auto measure = [&](int index) { return Json{{"number", score.MeasureNumber(index)}, {"index", index}}; };
  auto stretch = [&](const Location& location, const CueSource& source) {
    Json json = source.slot != 0 ? staff(source.slot) : Json{{"name", location.proposalName}, {"slot", nullptr}};
    return Json{{"staff", json}, {"first", measure(source.first)}, {"last", measure(source.last)}};
  };

  const SessionSettings& settings = summary.session->settings;
  Json with = Json::array();
  for (const auto& [name, on] : settings.includes) {
    if (on) with.push_back(name);
  }
  // File names are bytes: written as UTF-8, a byte that is none read as Latin-1.
  Json json{{"input", AsUtf8(summary.input)},
            {"output", summary.output.empty() ? Json(nullptr) : Json(AsUtf8(summary.output))},
            {"mode", ModeName(settings.mode)},
            {"settings",
             {{"criterion", settings.measures ? "measures" : "seconds"},
              {"threshold", settings.threshold},
              {"desired", settings.desired},
              {"allowed", settings.allowed},
              {"size", settings.size},
              {"sourceLayer", settings.sourceLayer},
              {"destinationLayer", settings.destinationLayer},
              {"with", with}}}};
  Json locations = Json::array();
  std::map<Action, int> actions;
  for (const Location& location : summary.session->locations) {
    Json destinations = Json::array();
    for (const int slot : location.destinations) destinations.push_back(staff(slot));
    locations.push_back(Json{
        {"staff", staff(location.slot)},
        {"rest",
         {{"start", measure(location.restStart)},
          {"end", measure(location.restEnd)},
          {"measures", location.restEnd - location.restStart + 1},
          {"seconds", std::round(score.Seconds(location.restStart, location.restEnd) * 100.0) / 100.0}}},
        {"proposal", location.proposal ? stretch(location, *location.proposal) : Json(nullptr)},
        {"source", location.source ? stretch(location, *location.source) : Json(nullptr)},
        {"destinations", destinations},
        {"action", ActionId(location.action)},
        {"message", location.message.empty() ? Json(nullptr) : Json(location.message)},
    });
    ++actions[location.action];
  }
  json["locations"] = locations;
  json["totals"] = Json{{"locations", summary.session->locations.size()},
                        {"cuesWritten", actions[Action::Written]},
                        {"marked", actions[Action::Marked]},
                        {"skipped", actions[Action::Skipped]},
                        {"refused", actions[Action::Refused]},
                        {"cueNotes", summary.counts.cueNotes},
                        {"cueRests", summary.counts.cueRests},
                        {"cueNames", summary.counts.cueNames},
                        {"markers", summary.counts.markers}};
  json["messages"] = summary.session->messages;
  return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace ostinel_cli

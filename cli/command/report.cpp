#include "report.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "child_process.h"
#include "engraver_files.h"
#include "excerpt.h"
#include "score_file.h"
#include "shown_text.h"

namespace ostinel_cli {

namespace {

using Json = nlohmann::json;

// Text for the page: printable, and escaped for HTML.
std::string Escape(const std::string& raw) {
  const std::string text = Printable(raw);
  std::string escaped;
  for (const char c : text) {
    switch (c) {
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      case '"': escaped += "&quot;"; break;
      default: escaped += c;
    }
  }
  return escaped;
}

struct Stretch {
  int slot = 0;
  int first = 0;
  int last = 0;
};

class Engraver {
 public:
  // Engraves every figure in one run of the engraver script, which reads the
  // excerpts on its standard input and answers on its standard output; false
  // with a message when it cannot run at all.
  bool Run(const std::vector<Figure>& figures, std::string* error) {
    Json excerpts = Json::array();
    for (const Figure& figure : figures) excerpts.push_back(Json{{"id", figure.id}, {"musicxml", figure.musicxml}});
    ChildProcess node;
    if (!node.Start("node", {Script()}, Json{{"excerpts", excerpts}}.dump(-1, ' ', false, Json::error_handler_t::replace),
                    error)) {
      if (error->find("not installed") != std::string::npos) *error = "Node.js is not installed (scripts/setup installs it)";
      return false;
    }
    const int status = node.Wait();
    if (status != 0) {
      // Its own message, or the error line of a stack trace.
      std::istringstream lines(node.Errors());
      std::string said;
      for (std::string line; std::getline(lines, line);) {
        if (said.empty() && !line.empty()) said = line;
        if (line.rfind("Error: ", 0) == 0) said = line.substr(7);
      }
      *error = said.empty() ? "the engraver failed (exit status " + std::to_string(status) + ")" : said;
      return false;
    }
    const Json engraved = Json::parse(node.Output(), nullptr, false);
    if (!engraved.is_object() || !engraved.contains("svg") || !engraved.contains("errors")) {
      *error = "the engraver gave no result";
      return false;
    }
    for (const auto& [id, svg] : engraved["svg"].items()) m_svg[id] = svg;
    for (const auto& [id, why] : engraved["errors"].items()) m_errors[id] = why;
    return true;
  }

  // The figure's SVG, or a line saying why there is none.
  std::string Html(const Figure& figure) const {
    const auto svg = m_svg.find(figure.id);
    if (svg != m_svg.end()) {
      return "<figure class=\"engraved\"><figcaption>" + Escape(figure.caption) + "</figcaption>\n" + svg->second +
             "\n</figure>\n";
    }
    const auto why = m_errors.find(figure.id);
    return "<figure class=\"missing\"><figcaption>" + Escape(figure.caption) + "</figcaption><p>Not engraved: " +
           Escape(why != m_errors.end() ? why->second : "no result") + "</p></figure>\n";
  }

 private:
  static std::string Script() { return EngraverFile("engrave.js"); }

  std::map<std::string, std::string> m_svg;
  std::map<std::string, std::string> m_errors;
};

std::string Settings(const RunSummary& summary) {
  const SessionSettings& settings = summary.session->settings;
  std::string with;
  for (const auto& [name, on] : settings.includes) {
    if (on) with += (with.empty() ? "" : ", ") + name;
  }
  const char* unit = settings.measures ? " measures" : " seconds";
  return std::string(ModeName(settings.mode)) + " mode; a cue from rests of " + std::to_string(settings.threshold) +
         unit + "; cues of " + std::to_string(settings.desired) + unit + " (at most " +
         std::to_string(settings.allowed) + "); notes at " + std::to_string(settings.size) + "%; from layer " +
         std::to_string(settings.sourceLayer) + " into layer " + std::to_string(settings.destinationLayer) +
         "; copying " + (with.empty() ? "the notes only" : with);
}

constexpr const char* kStyle = R"(
body { font-family: sans-serif; margin: 2em; color: #222; }
h1 { font-size: 1.5em; margin-bottom: 0.2em; }
p.settings { color: #555; margin-top: 0; }
table { border-collapse: collapse; margin: 1em 0 2em; }
th, td { text-align: left; padding: 0.25em 0.8em; border-bottom: 1px solid #ddd; }
section { margin: 2em 0; padding-top: 0.5em; border-top: 2px solid #ccc; }
h2 { font-size: 1.1em; }
.pair { display: flex; flex-wrap: wrap; gap: 1.5em; align-items: flex-start; }
figure { margin: 0; flex: 1 1 28em; min-width: 20em; }
figcaption { font-size: 0.9em; color: #444; margin-bottom: 0.3em; }
figure svg { width: 100%; height: auto; background: #fff; }
figure.missing p { color: #a00; }
)";

}  // namespace

bool MakeReport(const RunSummary& summary, const pugi::xml_document& cued, std::string* html, std::string* error) {
  const ImportedScore& score = *summary.score;
  std::vector<Figure> figures;
  std::vector<std::pair<int, int>> figuresOf;  // per location: its first figure and how many
  const std::vector<Location>& locations = summary.session->locations;
  for (size_t i = 0; i < locations.size(); ++i) {
    const Location& location = locations[i];
    const std::string prefix = "location-" + std::to_string(i + 1);
    const std::optional<CueSource>& source = location.source ? location.source : location.proposal;
    figuresOf.emplace_back(static_cast<int>(figures.size()), 0);
    int staff = 0;
    if (source && source->slot != 0) {
      if (const PartLayout* part = score.PartOfSlot(source->slot, &staff)) {
        figures.push_back(Figure{prefix + "-source",
                                 score.StaffName(source->slot) + ", " + MeasuresOf(score, source->first, source->last) +
                                     (location.source ? ": where the cue was taken from" : ": the proposed cue"),
                                 Excerpt(cued, *part, source->first, source->last)});
      }
    }
    // The resting staff over the cue's measures, or over the end of its rest.
    const int last = source ? source->last : location.restEnd;
    const int first = source ? source->first : std::max(location.restStart, location.restEnd - 4);
    if (const PartLayout* part = score.PartOfSlot(location.slot, &staff)) {
      const bool written = location.action == Action::Written;
      figures.push_back(Figure{prefix + "-destination",
                               score.StaffName(location.slot) + ", " + MeasuresOf(score, first, last) +
                                   (written ? ", with the cue" : location.action == Action::Marked ? ", marked" : ""),
                               Excerpt(cued, *part, first, last)});
    }
    figuresOf.back().second = static_cast<int>(figures.size()) - figuresOf.back().first;
  }
  Engraver engraver;
  if (!figures.empty() && !engraver.Run(figures, error)) return false;

  const std::string title = ScoreTitle(cued, summary.input);
  std::string page = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>Cue notes: " +
                     Escape(title) + "</title>\n<style>" + kStyle + "</style>\n</head>\n<body>\n<h1>Cue notes: " +
                     Escape(title) + "</h1>\n<p class=\"settings\">" + Escape(summary.input) +
                     (summary.output.empty() ? "" : " → " + Escape(summary.output)) + "<br>" +
                     Escape(Settings(summary)) + "</p>\n";
  if (locations.empty()) page += "<p>No location needs cue notes.</p>\n";
  if (!locations.empty()) {
    page += "<table>\n<thead><tr><th></th><th>Staff</th><th>Rest</th><th>Proposal</th><th>Action</th></tr></thead>\n"
            "<tbody>\n";
  }
  for (size_t i = 0; i < locations.size(); ++i) {
    const Location& location = locations[i];
    const int measures = location.restEnd - location.restStart + 1;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f s", score.Seconds(location.restStart, location.restEnd));
    const std::string proposal =
        location.proposal ? (location.proposal->slot != 0 ? score.StaffName(location.proposal->slot)
                                                          : location.proposalName) +
                                ", " + MeasuresOf(score, location.proposal->first, location.proposal->last)
                          : "—";
    page += "<tr><td><a href=\"#location-" + std::to_string(i + 1) + "\">" + std::to_string(i + 1) + "</a></td><td>" +
            Escape(score.StaffName(location.slot)) + "</td><td>" +
            Escape(MeasuresOf(score, location.restStart, location.restEnd)) + " (" + std::to_string(measures) +
            (measures == 1 ? " measure, " : " measures, ") + seconds + ")</td><td>" + Escape(proposal) + "</td><td>" +
            Escape(Decision(score, location)) + "</td></tr>\n";
  }
  if (!locations.empty()) page += "</tbody>\n</table>\n";
  for (size_t i = 0; i < locations.size(); ++i) {
    const Location& location = locations[i];
    page += "<section id=\"location-" + std::to_string(i + 1) + "\">\n<h2>" + std::to_string(i + 1) + ". " +
            Escape(score.StaffName(location.slot)) + ": rest in " +
            Escape(MeasuresOf(score, location.restStart, location.restEnd)) + "; " + Escape(Decision(score, location)) +
            "</h2>\n";
    if (!location.message.empty()) page += "<p>" + Escape(location.message) + "</p>\n";
    page += "<div class=\"pair\">\n";
    for (int f = figuresOf[i].first; f < figuresOf[i].first + figuresOf[i].second; ++f) {
      page += engraver.Html(figures[static_cast<size_t>(f)]);
    }
    page += "</div>\n</section>\n";
  }
  page += "</body>\n</html>\n";
  *html = std::move(page);
  return true;
}

}  // namespace ostinel_cli

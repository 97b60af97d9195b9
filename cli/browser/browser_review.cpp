#include "browser_review.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "stop_request.h"

namespace ostinel_cli {

namespace {

using Json = nlohmann::json;

// Staves drawn with a proposed cue at once: the page stays quick to engrave.
constexpr size_t kMostPreviewed = 4;

Json FiguresJson(const std::vector<Figure>& figures) {
  Json list = Json::array();
  for (const Figure& figure : figures) {
    list.push_back(Json{{"id", figure.id}, {"caption", figure.caption}, {"musicxml", figure.musicxml}});
  }
  return list;
}

// Names from the score may hold bytes that are no UTF-8: they are replaced, never thrown on.
std::string Text(const Json& state) { return state.dump(-1, ' ', false, Json::error_handler_t::replace); }

Json LocationsJson(const ImportedScore& score, const std::vector<Location>& locations, bool lastUndecided) {
  Json list = Json::array();
  for (size_t i = 0; i < locations.size(); ++i) {
    const Location& location = locations[i];
    const bool current = lastUndecided && i + 1 == locations.size();
    list.push_back(Json{{"staff", score.StaffName(location.slot)},
                        {"rest", MeasuresOf(score, location.restStart, location.restEnd)},
                        {"decision", current ? "" : Decision(score, location)}});
  }
  return list;
}

bool Stopping() { return CancelRequested(); }

}  // namespace

std::string BrowserReview::State(ReviewActions& actions, quivrasim::DialogSession& d, bool busy) {
  const ImportedScore& score = actions.Score();
  const DialogView& view = actions.View();
  const quivrasim::Dialog& dialog = d.Window();
  const Location& location = actions.Log().All().back();
  Json state{{"title", m_title}, {"busy", busy}, {"done", false}};
  Json staves = Json::array();
  for (int slot = 1; slot <= static_cast<int>(score.staffOfSlot.size()); ++slot) {
    staves.push_back(Json{{"slot", slot}, {"name", score.StaffName(slot)}});
  }
  state["staves"] = staves;
  state["locations"] = LocationsJson(score, actions.Log().All(), !busy);
  state["said"] = m_said;
  state["written"] = FiguresJson(m_written);
  if (busy) return Text(state);

  // Where the cue would come from: the measures chosen, else the proposal.
  std::optional<CueSource> source;
  const bool chosen = view.UsesSelection(dialog) && actions.Host().Selection().startMeasure != 0;
  if (chosen) {
    const QXRegion& region = actions.Host().Selection();
    source = CueSource{region.startSlot, region.startMeasure, region.endMeasure};
  } else if (location.proposal && location.proposal->slot != 0) {
    source = location.proposal;
  }
  const std::vector<int> destinations = view.ChosenStaves(dialog);
  Json current{{"number", actions.Log().All().size()},
               {"staff", score.StaffName(location.slot)},
               {"rest", MeasuresOf(score, location.restStart, location.restEnd)},
               {"lines", LocationLines(actions, d)},
               {"chosen", destinations},
               {"source", nullptr}};
  Preview preview(actions.Host().Doc(), score, m_xml);
  std::vector<Figure> figures;
  auto figure = [&](const std::string& caption, std::string musicxml) {
    figures.push_back(Figure{"figure-" + std::to_string(++m_figures), caption, std::move(musicxml)});
  };
  if (source) {
    current["source"] = Json{{"slot", source->slot},
                             {"from", score.MeasureNumber(source->first)},
                             {"to", score.MeasureNumber(source->last)}};
    const std::string measures = MeasuresOf(score, source->first, source->last);
    std::vector<int> shown = destinations;
    shown.resize(std::min(shown.size(), kMostPreviewed));
    const SessionSettings settings = view.Settings(dialog);
    const std::vector<std::string> excerpts =
        preview.WithCue(*source, view.SourceLayer(dialog), shown, settings.destinationLayer - 1, settings.size);
    figure(score.StaffName(source->slot) + ", " + measures + (chosen ? ": the cue chosen" : ": the proposed cue"),
           excerpts[0]);
    for (size_t i = 0; i < shown.size(); ++i) {
      figure(score.StaffName(shown[i]) + ", " + measures + ", with the cue as it would be written", excerpts[i + 1]);
    }
  } else {
    const int first = std::max(location.restStart, location.restEnd - 4);
    figure(score.StaffName(location.slot) + ", " + MeasuresOf(score, first, location.restEnd),
           preview.AsWritten(location.slot, first, location.restEnd));
  }
  current["figures"] = FiguresJson(figures);
  state["current"] = current;
  return Text(state);
}

void BrowserReview::Searching() {
  m_server.Publish(Text(Json{{"title", m_title}, {"busy", true}, {"done", false}, {"locations", Json::array()}}));
}

ReviewOutcome BrowserReview::At(ReviewActions& actions, quivrasim::DialogSession& d) {
  m_server.Publish(State(actions, d, false));
  for (;;) {
    std::string line;
    switch (m_server.NextAnswer(&line, kIdle, Stopping)) {
      case ReviewServer::Waited::Stopped:
        return ReviewOutcome::Interrupted;
      case ReviewServer::Waited::Idle:
        m_idle = true;
        [[fallthrough]];
      case ReviewServer::Waited::Finished:
        actions.Stop();
        return ReviewOutcome::Stop;
      case ReviewServer::Waited::Answer:
        break;
    }
    const size_t index = actions.Log().All().size() - 1;
    const Answered answered = Answer(actions, d, line);
    m_said = answered.lines;
    if (!answered.received.empty()) {
      // The staves that received the cue, as they now read.
      const Location& decided = actions.Log().All()[index];
      const CueSource& source = decided.source.value_or(CueSource{decided.slot, decided.restStart, decided.restEnd});
      const std::string measures = MeasuresOf(actions.Score(), source.first, source.last);
      Preview preview(actions.Host().Doc(), actions.Score(), m_xml);
      m_written.clear();
      for (const int slot : answered.received) {
        m_written.push_back(Figure{"figure-" + std::to_string(++m_figures),
                                   actions.Score().StaffName(slot) + ", " + measures + ", as written",
                                   preview.AsWritten(slot, source.first, source.last)});
      }
    }
    // What the page shows next stands before the reply, so that the page
    // asking for it after the reply gets it.
    m_server.Publish(State(actions, d, answered.outcome.has_value()));
    m_server.Reply(answered.lines);
    if (answered.outcome) return *answered.outcome;
  }
}

void BrowserReview::Ended(const ImportedScore& score, const std::vector<Location>& locations,
                          const std::vector<std::string>& summary, bool report) {
  m_server.Publish(Text(Json{{"title", m_title},
                             {"busy", false},
                             {"done", true},
                             {"locations", LocationsJson(score, locations, false)},
                             {"said", m_said},
                             {"written", FiguresJson(m_written)},
                             {"summary", summary},
                             {"report", report}}));
}

void BrowserReview::WaitUntilFinished() {
  std::string answer;
  while (m_server.NextAnswer(&answer, kIdle, Stopping) == ReviewServer::Waited::Answer) {
    m_server.Reply({"The review is over."});
  }
}

}  // namespace ostinel_cli

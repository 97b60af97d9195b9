// Review in the browser: the same review as at the terminal (the same
// answers, worked through the same actions), with a page for a face that
// shows each location's proposed cue engraved before it is decided.
#pragma once

#include <pugixml.hpp>

#include <chrono>
#include <string>
#include <vector>

#include "preview.h"
#include "review.h"
#include "review_server.h"

namespace ostinel_cli {

class BrowserReview : public ReviewFace {
 public:
  // The page ends the review (as a stop) after this long without a request.
  static constexpr std::chrono::minutes kIdle{30};

  BrowserReview(ReviewServer& server, const pugi::xml_document& xml, const std::string& title)
      : m_server(server), m_xml(xml), m_title(title) {}

  // Until the first location: the plug-in is searching.
  void Searching();
  ReviewOutcome At(ReviewActions& actions, quivrasim::DialogSession& d) override;

  // The review is over: the page shows what came of it (the summary's lines,
  // and the report's link when there is one), then waits to be finished.
  void Ended(const ImportedScore& score, const std::vector<Location>& locations,
             const std::vector<std::string>& summary, bool report);
  // Waits until the page says it is finished, it has been idle, or a stop.
  void WaitUntilFinished();

  // The review ended because the page was idle.
  bool WentIdle() const { return m_idle; }

 private:
  std::string State(ReviewActions& actions, quivrasim::DialogSession& d, bool busy);

  ReviewServer& m_server;
  const pugi::xml_document& m_xml;
  std::string m_title;
  std::vector<std::string> m_said;  // the lines the last answer came to
  std::vector<Figure> m_written;    // the staves the last cue was written to, as written
  int m_figures = 0;                // figures made so far, for unique ids
  bool m_idle = false;
};

}  // namespace ostinel_cli

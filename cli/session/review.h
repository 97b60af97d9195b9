// Reviewing a location: the decisions a user makes there, the same whatever
// face asks (the terminal, or a browser), each working the plug-in's dialog through
// its view, with the score's names and printed measure numbers.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "dialog_view.h"
#include "importer.h"
#include "line_reader.h"
#include "locations.h"
#include "quivrasim/host.h"

namespace ostinel_cli {

class ReviewActions {
 public:
  ReviewActions(quivrasim::Host& host, const ImportedScore& score, const DialogView& view, LocationLog& log);

  // What creating the cue came to: the plug-in's words, the staves that
  // received it, and whether the location is offered again (some did not).
  struct Created {
    std::vector<std::string> messages;
    std::vector<int> received;
    bool offeredAgain = false;
  };
  Created Create(quivrasim::DialogSession& d);
  void Skip(quivrasim::DialogSession& d);
  // The current location ends the review.
  void Stop();
  // Each returns what went wrong, empty when the dialog took it.
  std::string ChooseStaves(quivrasim::DialogSession& d, const std::string& list);
  std::string ChooseSource(quivrasim::DialogSession& d, const std::string& words);
  std::string UseProposal(quivrasim::DialogSession& d);
  // A name typed; *note says how it was taken when it had to be changed.
  std::string Name(quivrasim::DialogSession& d, const std::string& typed, std::string* note);

  // What is shown.
  std::string Staves(const std::vector<int>& slots) const;
  std::string Measures(int first, int last) const;
  // A staff given by its number or its name; 0 when there is none such.
  int StaffOf(const std::string& word) const;

  const LocationLog& Log() const { return m_log; }
  const DialogView& View() const { return m_view; }
  const ImportedScore& Score() const { return m_score; }
  quivrasim::Host& Host() { return m_host; }

 private:
  quivrasim::Host& m_host;
  const ImportedScore& m_score;
  const DialogView& m_view;
  LocationLog& m_log;
};

enum class ReviewOutcome {
  Next,         // the search went on
  Stop,         // the user asked to stop
  NoInput,      // the input ended before any answer was given
  Interrupted,  // Ctrl-C at the prompt
};

// What one answer came to: the lines to show the user, and, when the
// location is done with, how the review goes on.
struct Answered {
  std::vector<std::string> lines;
  std::optional<ReviewOutcome> outcome;
  std::vector<int> received;  // the staves a cue was written to, by slot
};

// One answer at a location, in the review's own words ("c", "t 2,3",
// "r Flute 8-12", "n Solo", ...), whatever face typed it.
Answered Answer(ReviewActions& actions, quivrasim::DialogSession& d, const std::string& line);

// What the user is shown at a location before answering.
std::vector<std::string> LocationLines(ReviewActions& actions, quivrasim::DialogSession& d);

// The face a review shows the user: it asks at each location until the user
// lets the search go on (or stops it), answering through Answer.
class ReviewFace {
 public:
  virtual ~ReviewFace() = default;
  virtual ReviewOutcome At(ReviewActions& actions, quivrasim::DialogSession& d) = 0;
};

// Review at the terminal: a location shown, answers read line by line.
class Review : public ReviewFace {
 public:
  Review(std::FILE* in, std::FILE* out) : m_in(in), m_out(out) {}

  ReviewOutcome At(ReviewActions& actions, quivrasim::DialogSession& d) override;

 private:
  void Print(const std::string& text) const;

  LineReader m_in;
  std::FILE* m_out;
  int m_answers = 0;
};

}  // namespace ostinel_cli

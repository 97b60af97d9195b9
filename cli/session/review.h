// Reviewing a location: the decisions a user makes there, the same whatever
// face asks (the terminal here), each working the plug-in's dialog through
// its view, with the score's names and printed measure numbers.
#pragma once

#include <cstdio>
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

// Review at the terminal: a location shown, answers read line by line.
class Review {
 public:
  Review(ReviewActions& actions, std::FILE* in, std::FILE* out) : m_actions(actions), m_in(in), m_out(out) {}

  // Asks until the user lets the search go on (or stops it).
  ReviewOutcome At(quivrasim::DialogSession& d);

 private:
  void Show(quivrasim::DialogSession& d) const;
  void Print(const std::string& text) const;

  ReviewActions& m_actions;
  LineReader m_in;
  std::FILE* m_out;
  int m_answers = 0;
};

}  // namespace ostinel_cli

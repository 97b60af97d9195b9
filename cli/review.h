// Reviewing a location at the console: what the dialog offers, shown with
// the score's names and printed measure numbers, and the user's answers.
#pragma once

#include <cstdio>

#include "importer.h"
#include "locations.h"
#include "plugin_texts.h"
#include "quivrasim/dialog.h"
#include "quivrasim/host.h"

namespace ostinel_cli {

// Lines from standard input (or any file), read so that a stop (SIGINT,
// SIGTERM) ends the wait for the next one at once.
class LineReader {
 public:
  explicit LineReader(std::FILE* in) : m_in(in) {}
  // The next line, of any length, without its line end; false at the end of
  // the input or when a stop came.
  bool Next(std::string* line);

 private:
  std::FILE* m_in;
  std::string m_buffer;
  bool m_ended = false;
};

enum class ReviewOutcome {
  Next,         // the search went on
  Stop,         // the user asked to stop
  NoInput,      // the input ended before any answer was given
  Interrupted,  // Ctrl-C at the prompt
};

class Review {
 public:
  Review(quivrasim::Host& host, const ImportedScore& score, const PluginTexts& texts, LocationLog& log,
         std::FILE* in, std::FILE* out);

  // Asks until the user lets the search go on (or stops it).
  ReviewOutcome At(quivrasim::DialogSession& d);

 private:
  void Show(quivrasim::DialogSession& d) const;
  void Create(quivrasim::DialogSession& d);
  void ChooseStaves(quivrasim::DialogSession& d, const std::string& list);
  void ChooseSource(quivrasim::DialogSession& d, const std::string& words);
  std::string Staves(const std::vector<int>& slots) const;
  // A staff given by its number or its name; 0 when there is none such.
  int StaffOf(const std::string& word) const;
  std::string Measures(int first, int last) const;

  quivrasim::Host& m_host;
  const ImportedScore& m_score;
  const PluginTexts& m_texts;
  LocationLog& m_log;
  LineReader m_in;
  std::FILE* m_out;
  int m_answers = 0;
};

}  // namespace ostinel_cli

// The HTML report of a run: one page, for a person to look at before
// opening the score. Each location shows the passage the cue was taken
// from and the staff that received it, engraved as notation (by Verovio,
// under Node.js) from excerpts of the cued score; the SVG is inlined, so
// the page works offline and needs no script.
#pragma once

#include <pugixml.hpp>

#include <string>

#include "summary.h"

namespace ostinel_cli {

// The page for the run: false with a message when the notation cannot be
// engraved (no Node.js, no Verovio); the cued score is written regardless.
bool MakeReport(const RunSummary& summary, const pugi::xml_document& cued, std::string* html, std::string* error);

}  // namespace ostinel_cli

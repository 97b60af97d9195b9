// The engraver's folder: the script that engraves MusicXML with Verovio
// under Node.js, the Verovio it pins, and the review page's files beside it.
#pragma once

#include <string>

namespace ostinel_cli {

// A file of the engraver's folder: beside OSTINEL_ENGRAVER when that names
// the script, else installed with the command, else in the source tree the
// command was built from.
std::string EngraverFile(const std::string& name);

}  // namespace ostinel_cli

// The MusicXML reader over any bytes: the file is parsed (plain or .mxl),
// imported into a host document, and written back with nothing added.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "exporter.h"
#include "importer.h"
#include "quivrasim/host.h"
#include "score_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<char> bytes(data, data + size);
  ostinel_cli::ScoreFile file;
  std::string error;
  if (!ostinel_cli::ReadScoreBytes(std::move(bytes), "fuzz.musicxml", &file, &error)) {
    if (error.empty()) std::abort();  // a refusal always says why
    return 0;
  }
  quivrasim::Host host;
  ostinel_cli::ImportedScore score;
  if (!ostinel_cli::ImportScore(file.document, host.Doc(), &score, &error)) {
    if (error.empty()) std::abort();
    return 0;
  }
  const ostinel_cli::ExportCounts counts = ostinel_cli::ExportAdditions(host.Doc(), score);
  // Nothing was added, so nothing comes out.
  if (counts.cueNotes != 0 || counts.cueNames != 0 || counts.markers != 0 || counts.elements != 0) std::abort();
  return 0;
}

// The notation a reviewer looks at: excerpts of the score as the plug-in
// has changed it so far, and of the receiving staves with a proposed cue
// drawn in before it is written.
#pragma once

#include <pugixml.hpp>

#include <string>
#include <vector>

#include "excerpt.h"
#include "importer.h"
#include "locations.h"
#include "quivrasim/document.h"

namespace ostinel_cli {

class Preview {
 public:
  Preview(quivrasim::Document& host, const ImportedScore& score, const pugi::xml_document& xml)
      : m_host(host), m_score(score), m_xml(xml) {}

  // The part of a staff over measures first..last, with every cue written so far.
  std::string AsWritten(int slot, int first, int last) const;

  // The source staff's part and those of the destinations over the source's
  // measures, with the source's music (layer sourceLayer, 0-based) drawn
  // into the destinations as cue notes of percent size in destinationLayer
  // wherever that layer is empty; the document is left as it was. The
  // source's excerpt first, then one per destination.
  std::vector<std::string> WithCue(const CueSource& source, int sourceLayer, const std::vector<int>& destinations,
                                   int destinationLayer, int percent) const;

 private:
  std::vector<std::string> Excerpts(const std::vector<int>& slots, int first, int last) const;

  quivrasim::Document& m_host;
  const ImportedScore& m_score;
  const pugi::xml_document& m_xml;
};

}  // namespace ostinel_cli

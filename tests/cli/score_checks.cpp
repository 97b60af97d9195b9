#include "score_checks.h"

#include <cstring>
#include <fstream>
#include <optional>

#include "importer.h"
#include "mapping.h"
#include "quivra/qx_records.h"
#include "quivrasim/host.h"
#include "score_file.h"

namespace ostinel_test {

nlohmann::json ReadJson(const std::string& path) {
  std::ifstream in(path);
  return nlohmann::json::parse(in, nullptr, false);
}

std::vector<std::vector<MeasureTime>> MeasureTimes(const pugi::xml_document& score) {
  std::vector<std::vector<MeasureTime>> parts;
  for (pugi::xml_node part = score.document_element().child("part"); part; part = part.next_sibling("part")) {
    std::vector<MeasureTime>& measures = parts.emplace_back();
    int64_t divisions = 1;
    for (pugi::xml_node measure = part.child("measure"); measure; measure = measure.next_sibling("measure")) {
      MeasureTime time;
      int64_t cursor = 0;
      int64_t lastStart = 0;
      for (pugi::xml_node child = measure.first_child(); child; child = child.next_sibling()) {
        const std::string name = child.name();
        const int64_t duration = child.child("duration").text().as_llong();
        if (name == "attributes" && child.child("divisions")) divisions = child.child("divisions").text().as_llong();
        if (name == "backup") cursor -= duration;
        if (name != "note" && name != "forward") continue;
        if (child.child("grace")) continue;
        const std::string voice = child.child("voice") ? child.child_value("voice") : "1";
        if (child.child("chord")) {
          cursor = lastStart;
        } else {
          lastStart = cursor;
        }
        cursor += duration;
        time.voiceEnds[voice] = std::max(time.voiceEnds[voice], cursor);
        if (name == "note") {
          const bool cue = child.child("cue");
          const auto known = time.cueVoice.find(voice);
          time.cueVoice[voice] = known == time.cueVoice.end() ? cue : known->second && cue;
        }
      }
      time.divisions = divisions;
      measures.push_back(time);
    }
  }
  return parts;
}

StaffMusic ReadMusic(const std::string& path, int layer) {
  StaffMusic music;
  ostinel_cli::ScoreFile file;
  std::string error;
  if (!ostinel_cli::ReadScore(path, &file, &error)) return music;
  quivrasim::Host host;
  ostinel_cli::ImportedScore score;
  if (!ostinel_cli::ImportScore(file.document, host.Doc(), &score, &error)) return music;
  const quivrasim::Document& doc = host.Doc();
  for (int slot = 1; slot <= doc.StaffCount(); ++slot) {
    for (int measure = 1; measure <= doc.MeasureCount(); ++measure) {
      for (int l = 0; l < doc.MaxLayers(); ++l) {
        if (layer >= 0 && l != layer) continue;
        const quivrasim::Entries* entries =
            doc.Frame({doc.InstrumentAt(slot), static_cast<int16_t>(measure), static_cast<uint16_t>(l)});
        if (entries == nullptr) continue;
        int left = 0;
        int actual = 1;
        int normal = 1;
        for (const QXEntry& entry : *entries) {
          if (left == 0) {
            if (const std::optional<QXTuplet> tuplet = doc.TupletAt(entry.number)) {
              left = tuplet->entries;
              actual = tuplet->actual;
              normal = tuplet->normal;
            }
          }
          const bool inTuplet = left > 0;
          if (left > 0) --left;
          const bool cue = doc.Records().Find(kQXTagEntrySize, quivrasim::RecordKey{entry.number, 0, 0}) != nullptr;
          const bool note = (entry.flags & kQXEntryNote) != 0;
          const bool hidden = !note && ((entry.flags & kQXEntryPlaceholder) != 0 ||
                                        entry.hostWord144 == ostinel_cli::kFillerMark);
          if (hidden || (layer < 0) != cue) continue;
          EntryView view{entry.position, entry.duration, inTuplet ? actual : 1, inTuplet ? normal : 1, {}};
          for (int n = 0; note && n < entry.noteCount; ++n) {
            view.pitches.emplace_back(static_cast<int16_t>(entry.notes[n].word0),
                                      static_cast<int16_t>(entry.notes[n].word1));
          }
          std::sort(view.pitches.begin(), view.pitches.end());
          music[{slot, measure}].push_back(view);
        }
      }
    }
  }
  return music;
}

void PrintTo(const EntryView& entry, std::ostream* os) {
  *os << "@" << entry.position << " " << entry.duration << " " << entry.actual << ":" << entry.normal;
  for (const auto& [step, alter] : entry.pitches) *os << " " << step << (alter > 0 ? "#" : alter < 0 ? "b" : "");
}

}  // namespace ostinel_test

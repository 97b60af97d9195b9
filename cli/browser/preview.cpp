#include "preview.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "excerpt.h"
#include "exporter.h"
#include "score_copy.h"

namespace ostinel_cli {

namespace {

// Entry bits that promise records under the entry's number: a copy has none.
// (tuplets are copied).
constexpr uint32_t kRecordBits = kQXEntrySpecial | kQXEntryArticulations | kQXEntryLyrics | kQXEntryDynamics |
                                 kQXEntryTupletPart | kQXEntryStemRecord | kQXEntryBeamRecords;

}  // namespace

std::vector<std::string> Preview::Excerpts(const std::vector<int>& slots, int first, int last) const {
  pugi::xml_document copy;
  ImportedScore score = CopyScore(m_score, m_xml, copy);
  ExportAdditions(m_host, score);
  std::vector<std::string> excerpts;
  for (const int slot : slots) {
    int staff = 0;
    const PartLayout* part = score.PartOfSlot(slot, &staff);
    excerpts.push_back(part != nullptr ? Excerpt(copy, *part, first, last) : std::string());
  }
  return excerpts;
}

std::string Preview::AsWritten(int slot, int first, int last) const { return Excerpts({slot}, first, last).front(); }

std::vector<std::string> Preview::WithCue(const CueSource& source, int sourceLayer,
                                          const std::vector<int>& destinations, int destinationLayer,
                                          int percent) const {
  const uint16_t from = m_host.InstrumentAt(source.slot);
  std::vector<quivrasim::FrameKey> drawn;  // frames that were empty
  std::vector<std::pair<uint32_t, quivrasim::RecordKey>> records;
  quivrasim::RecordStore& store = m_host.Records();
  {
    // Set-up, not an edit: the plug-in's journal and undo stack never see it.
    const quivrasim::Document::Untracked drawing(m_host);
    quivrasim::Bytes size(quivrasim::FindRecordType(kQXTagEntrySize)->StoredSize(), 0);
    QXEntrySize record{};
    record.percent = static_cast<uint16_t>(percent);
    std::memcpy(size.data(), &record, std::min(size.size(), sizeof record));
    for (const int slot : destinations) {
      const uint16_t to = m_host.InstrumentAt(slot);
      for (int measure = source.first; measure <= source.last && from != 0 && to != 0; ++measure) {
        const auto m = static_cast<int16_t>(measure);
        const std::optional<quivrasim::Entries> music = m_host.Frame({from, m, static_cast<uint16_t>(sourceLayer)});
        const quivrasim::FrameKey key{to, m, static_cast<uint16_t>(destinationLayer)};
        if (!music || m_host.Frame(key)) continue;
        const quivrasim::Entries original = *music;
        quivrasim::Entries cue = original;
        for (QXEntry& entry : cue) {
          entry.number = 0;
          entry.flags &= ~kRecordBits;
        }
        drawn.push_back(key);
        const quivrasim::Entries& stored = m_host.StoreFrame(key, std::move(cue));
        // What makes an entry a cue note (its size), and its tuplets.
        for (size_t i = 0; i < stored.size() && i < original.size(); ++i) {
          const uint32_t number = stored[i].number;
          records.emplace_back(kQXTagEntrySize, quivrasim::RecordKey{number, 0, 0});
          store.Put(kQXTagEntrySize, records.back().second, size);
          for (uint32_t incidence = 0;; ++incidence) {
            const quivrasim::Bytes* tuplet = store.Find(kQXTagTuplet, {original[i].number, incidence, 0});
            if (tuplet == nullptr) break;
            records.emplace_back(kQXTagTuplet, quivrasim::RecordKey{number, incidence, 0});
            store.Put(kQXTagTuplet, records.back().second, *tuplet);
          }
        }
      }
    }
  }
  std::vector<int> shown{source.slot};
  shown.insert(shown.end(), destinations.begin(), destinations.end());
  std::vector<std::string> excerpts = Excerpts(shown, source.first, source.last);
  const quivrasim::Document::Untracked restoring(m_host);
  for (const auto& [tag, key] : records) store.Erase(tag, key);
  for (const quivrasim::FrameKey& key : drawn) m_host.StoreFrame(key, {});
  return excerpts;
}

}  // namespace ostinel_cli

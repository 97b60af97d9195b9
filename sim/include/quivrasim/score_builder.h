// Builds test documents in a few lines: staves with names, measures, notes
// and rests, groups, tempo indications and expressions.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "quivrasim/document.h"

namespace quivrasim {

struct NoteSpec {
  int step = 7;  // diatonic steps from middle C (7 = C5)
  int alter = 0;
  uint32_t flags = 0;  // extra note flags, e.g. kQXNoteTieEnd
};

struct EntrySpec {
  int duration = kQXQuarter;
  std::vector<NoteSpec> notes;  // none: a rest
  uint32_t flags = 0;           // extra entry flags
  uint16_t flags2 = 0;

  static EntrySpec Note(int duration, int step = 7) { return EntrySpec{duration, {NoteSpec{step, 0, 0}}, 0, 0}; }
  static EntrySpec Rest(int duration) { return EntrySpec{duration, {}, 0, 0}; }
};

class ScoreBuilder {
 public:
  explicit ScoreBuilder(Document& document);

  // Measures of beats x beatLength duration units (4/4 by default).
  ScoreBuilder& Measures(int count, int beats = 4, int beatLength = kQXQuarter);
  // A new staff at the bottom of the score; returns its instrument number.
  uint16_t Staff(const std::string& name = "", const std::string& abbreviation = "");
  // Gives a staff transposition: written pitch = concert pitch + this many steps.
  void Transpose(uint16_t instrument, int diatonic, int chromatic);

  // One note per beat in every measure of first..last, replacing the layer.
  ScoreBuilder& Play(uint16_t instrument, int first, int last, int layer = 0);
  // A whole-measure rest entry in every measure of first..last.
  ScoreBuilder& Rest(uint16_t instrument, int first, int last, int layer = 0);
  // Empties the layer in every measure of first..last.
  ScoreBuilder& Clear(uint16_t instrument, int first, int last, int layer = 0);
  // The entries of one measure and layer; returns their entry numbers.
  std::vector<uint32_t> Entries(uint16_t instrument, int measure, int layer, const std::vector<EntrySpec>& entries);

  // A text block with its raw text; returns the block's number.
  uint16_t TextBlock(const std::string& text);
  // A staff group (group number 1 to 1000).
  void Group(int number, uint16_t first, uint16_t last, const std::string& name, uint16_t flags = 0,
             const std::string& secondName = "");

  // The document's base tempo in quarter notes per minute.
  void BaseTempo(int unit, int value);
  // A tempo change record: value in beats per minute of unit-long beats
  // (tempo = value x 0.05859375 x unit / 65536), or per mille when relative.
  void TempoChange(int measure, int position, int value, int unit, bool relative = false);
  // A tempo change to quarters per minute (a multiple of 15 is exact).
  void TempoChangeQpm(int measure, int position, int quartersPerMinute);
  // A text expression definition; returns its number.
  int TextExpression(const std::string& text, int playbackValue = 0, int playbackUnit = 0,
                     uint16_t playbackFlags = 0, uint16_t hostKind = 0);
  // A tempo expression: (unit / 1024) x value quarter notes per minute.
  int TempoExpression(const std::string& text, int value, int unit = kQXQuarter);
  void MeasureExpression(int measure, int definition, int hpos = 0, uint16_t flags = 0, uint16_t staff = 0);
  // A tuplet of `entries` entries starting at firstEntry: actual notes in the
  // time of normal ones. The frame is laid out again.
  void Tuplet(uint32_t firstEntry, int entries, int actual, int normal);
  // Attaches an expression definition to an entry.
  void EntryExpression(uint32_t entry, int definition, bool shape = false);
  // Marks an entry as cue-sized (or any other size).
  void EntrySize(uint32_t entry, int percent);

  // Any record, under a key whose 0xFFFF parts the host fills in; returns the key.
  template <class Record>
  QXKey AddRecord(uint32_t tag, QXKey key, const Record& record) {
    Bytes bytes(sizeof(Record), 0);
    std::memcpy(bytes.data(), &record, sizeof(Record));
    return AddBytes(tag, key, std::move(bytes));
  }
  QXKey AddBytes(uint32_t tag, QXKey key, Bytes bytes);
  // A smart shape on one staff over first..last measure, registered in its
  // measures as the host registers shapes; returns its number.
  uint16_t SmartShape(uint16_t staff, int first, int last, uint16_t flags = 0, uint32_t startEntry = 0,
                      uint32_t endEntry = 0, uint16_t kind = 1);

 private:
  Document& m_document;
};

}  // namespace quivrasim

// The document's tempo indications over a stretch of the score, and the
// seconds of playback between two score positions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/windows_services.h"
#include "quivra/qx_layout.h"
#include "quivra/qx_records.h"

namespace ostinel {

class TGetDuration {
 public:
  struct TempoChange {
    char kind;  // 't' tempo change record, 'e' tempo expression
    int32_t measure;
    int32_t position;
    double tempo;  // quarter notes per minute from here on
  };

  // The tempo when the playback preferences give none (or a zero one).
  static constexpr double kDefaultTempo = 120.0;

  explicit TGetDuration(uint32_t conflictMessageId);

  // Fills the map from the region's tempo changes, tempo expressions and
  // note-attached tempo expressions; false when the user cancelled.
  bool Build(const QXRegion& region, HWND window);
  // Seconds from the region's start to its end (an end beyond its measure
  // counts as the end of the measure).
  double GetDuration(const QXRegion& region, HWND window);
  // The tempo in force at (measure, position); *next gets the index of the
  // first indication after it, or the map's size when there is none.
  double GetTempoAt(int32_t measure, int32_t position, size_t* next = nullptr) const;
  // Inserts an indication in order; one at the same place replaces the
  // tempo there (a conflict of more than 1.5 is reported, once).
  void AddTempoChange(const TempoChange& change, HWND window);
  // Adds the tempo of an expression definition that is a tempo expression.
  bool AddTempoExpression(int32_t measure, int32_t position, bool isShape, int16_t definition, TempoChange* out,
                          HWND window);
  void Clear() { m_map.clear(); }

  double BaseTempo() const;
  const std::vector<TempoChange>& Map() const { return m_map; }

 private:
  bool ReadMeasure(const QXRegion& region, int32_t measure, HWND window);

  std::vector<TempoChange> m_map;
  bool m_warned;
  uint32_t m_conflictMessageId;
  QXPlaybackPrefs m_prefs;
};

// The process-wide tempo map, from load to unload.
extern TGetDuration g_duration;

}  // namespace ostinel

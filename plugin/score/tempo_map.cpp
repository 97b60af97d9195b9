#include "score/tempo_map.h"

#include <cmath>
#include <cstring>

#include "host/alerts.h"
#include "host/host_module.h"
#include "host/host_ops.h"
#include "host/records.h"
#include "resources/resource_ids.h"
#include "resources/texts.h"

namespace ostinel {

TGetDuration g_duration(IDS_TEMPO_CONFLICT);

namespace {

constexpr const char* kInternalError = "There was an internal error calculating the duration";
constexpr double kConflictTolerance = 1.5;

bool Before(const TGetDuration::TempoChange& a, int32_t measure, int32_t position) {
  return a.measure < measure || (a.measure == measure && a.position < position);
}

// Frames are read with the layout of the host at hand.
uint32_t FrameVersion() { return HostVersion() >= kQXVersion0A01 ? kQXVersionCurrent : kQXVersion0A; }

bool Usable(double tempo) { return std::isfinite(tempo) && tempo > 0.0; }

}  // namespace

TGetDuration::TGetDuration(uint32_t conflictMessageId)
    : m_warned(false), m_conflictMessageId(conflictMessageId), m_prefs{} {}

double TGetDuration::BaseTempo() const {
  const double tempo = m_prefs.baseValue * 1024.0 / m_prefs.baseUnit;
  return m_prefs.baseUnit != 0 && Usable(tempo) ? tempo : kDefaultTempo;
}

double TGetDuration::GetTempoAt(int32_t measure, int32_t position, size_t* next) const {
  double tempo = BaseTempo();
  size_t index = 0;
  for (; index < m_map.size(); ++index) {
    const TempoChange& change = m_map[index];
    if (change.measure > measure || (change.measure == measure && change.position > position)) break;
    tempo = change.tempo;
  }
  if (next != nullptr) *next = index;
  return tempo;
}

void TGetDuration::AddTempoChange(const TempoChange& change, HWND window) {
  if (m_map.empty() || Before(m_map.back(), change.measure, change.position)) {
    m_map.push_back(change);
    return;
  }
  size_t index = 0;
  while (Before(m_map[index], change.measure, change.position)) ++index;
  TempoChange& found = m_map[index];
  if (found.measure == change.measure && found.position == change.position) {
    if (std::fabs(found.tempo - change.tempo) > kConflictTolerance && !m_warned) {
      m_warned = true;
      char format[100];
      char text[200];
      LoadPluginString(m_conflictMessageId, format, sizeof format);
      FormatText(text, sizeof text, format, static_cast<long>(change.measure));
      ShowAlert(window, kQXAlertPlain, text);
    }
    // The indication added later wins.
    found.tempo = change.tempo;
    found.kind = change.kind;
    return;
  }
  m_map.insert(m_map.begin() + static_cast<std::ptrdiff_t>(index), change);
}

bool TGetDuration::AddTempoExpression(int32_t measure, int32_t position, bool isShape, int16_t definition,
                                      TempoChange* out, HWND window) {
  int16_t value = 0;
  int16_t unit = 0;
  uint16_t flags = 0;
  const QXKey key = QXKey::Of(static_cast<uint16_t>(definition), 0);
  if (isShape) {
    // The old 12-byte layout carries the playback fields.
    unsigned char record[kQXShapeExprDefOldSize];
    if (LoadRecord(kQXTagShapeExprDef, key, &record)) {
      QXShapeExprDef shape{};
      std::memcpy(&shape, record, sizeof record);
      value = shape.playbackValue;
      unit = shape.playbackUnit;
      flags = shape.playbackFlags;
    }
  } else {
    unsigned char record[kQXTextExprDefMaxSize] = {};
    QXKey textKey = key;
    uint32_t size = sizeof record;
    if (EDataLoad(kQXTagTextExprDef, &textKey, record, &size, kQXVersion08) != 0) {
      QXTextExprDefHeader header;
      std::memcpy(&header, record, sizeof header);
      value = header.playbackValue;
      unit = header.playbackUnit;
      flags = header.playbackFlags;
    }
  }
  const bool tempoExpression =
      (flags & kQXPlaybackTempo) != 0 && (flags & kQXPlaybackNotTempo) == 0 && (flags & kQXPlaybackOn) != 0;
  if (!tempoExpression) return false;
  const TempoChange change{'e', measure, position, (unit / 1024.0) * value};
  // A tempo of zero or less would stop the clock: such a definition sets none.
  if (!Usable(change.tempo)) return false;
  AddTempoChange(change, window);
  if (out != nullptr) *out = change;
  return true;
}

bool TGetDuration::Build(const QXRegion& region, HWND window) {
  m_prefs = QXPlaybackPrefs{};
  QXKey prefsKey = QXKey::Of(0, 0);
  uint32_t size = sizeof m_prefs;
  EDataLoad(kQXTagPlaybackPrefs, &prefsKey, &m_prefs, &size);
  Clear();

  const uint32_t progress = QX_StartMassEdit(&region, region.endMeasure - region.startMeasure + 1);
  auto report = [&](int32_t measure) {
    if (QX_MassEditProgress(progress, 1, 0, static_cast<uint16_t>(measure), kQXProgressFlags) != 0) return true;
    QX_EndMassEdit(progress, 1);
    return false;
  };
  // Backward to the nearest indication in force at the start, then forward.
  for (int32_t measure = region.startMeasure; measure >= 1; --measure) {
    if (!report(measure)) return false;
    if (ReadMeasure(region, measure, window)) break;
  }
  for (int32_t measure = region.startMeasure + 1; measure <= region.endMeasure; ++measure) {
    if (!report(measure)) return false;
    ReadMeasure(region, measure, window);
  }
  QX_EndMassEdit(progress, 0);
  return true;
}

// Adds the measure's indications; true when one of them is in force at the
// region's start (the backward pass ends there).
bool TGetDuration::ReadMeasure(const QXRegion& region, int32_t measure, HWND window) {
  auto beforeStart = [&](int32_t at, int32_t position) {
    return at < region.startMeasure || (at == region.startMeasure && position == 0);
  };
  const auto measureKey = static_cast<uint16_t>(measure);
  bool inForce = false;

  for (uint16_t incidence = 0;; ++incidence) {
    QXTempoChange record{};
    if (!LoadRecord(kQXTagTempoChange, QXKey::Of(measureKey, incidence), &record)) break;
    const double tempo = (record.flags & kQXTempoRelative) != 0
                             ? GetTempoAt(measure, record.position) * record.value / 1000
                             : record.value * 0.05859375 * record.unit / 65536;
    if (Usable(tempo)) AddTempoChange(TempoChange{'t', measure, record.position, tempo}, window);
    // The last record of the measure decides.
    inForce = beforeStart(measure, record.position);
  }

  for (uint16_t incidence = 0;; ++incidence) {
    unsigned char record[kQXMeasureExprOldSize];
    if (!LoadRecord(kQXTagMeasureExpr, QXKey::Of(measureKey, incidence), &record, kQXVersion05)) break;
    QXMeasureExpr assignment{};
    std::memcpy(&assignment, record, sizeof record);
    int32_t position = (assignment.flags & kQXExprAtHpos) != 0 ? assignment.hpos : 0;
    if (position < 0) position = 0;
    TempoChange change{};
    if (AddTempoExpression(measure, position, (assignment.flags & kQXExprShape) != 0, assignment.definition, &change,
                           window)) {
      inForce = inForce || beforeStart(change.measure, change.position);
    }
  }

  const uint32_t version = FrameVersion();
  const int layers = QX_GetMaxLayers();
  for (int layer = 0; layer < layers; ++layer) {
    for (int slot = region.startSlot; slot <= region.endSlot; ++slot) {
      QXFrame* frame = QX_LoadTGF(region.startList, static_cast<uint16_t>(slot), measureKey,
                                  static_cast<uint16_t>(layer), 0, version);
      if (frame == nullptr) continue;
      for (int i = 0; i < frame->entryCount; ++i) {
        const QXEntry& entry = frame->entries[i];
        if (entry.flags2 == 0) continue;
        for (uint16_t incidence = 0;; ++incidence) {
          QXEntryExpr expression{};
          if (!LoadRecord(kQXTagEntryExpr, QXKey::Entry(entry.number, incidence), &expression, kQXVersion09)) break;
          TempoChange change{};
          if (AddTempoExpression(measure, entry.position, (expression.flags & kQXEntryExprText) == 0,
                                 expression.definition, &change, window)) {
            inForce = inForce || beforeStart(change.measure, change.position);
          }
        }
      }
      QX_FreeTGF(frame, version);
    }
  }
  return inForce;
}

double TGetDuration::GetDuration(const QXRegion& region, HWND window) {
  if (region.startMeasure == region.endMeasure && region.startPos >= region.endPos) return 0.0;
  size_t next = 0;
  double tempo = GetTempoAt(region.startMeasure, region.startPos, &next);
  double total = 0.0;
  for (int32_t measure = region.startMeasure; measure <= region.endMeasure; ++measure) {
    int32_t length = QX_GetMeasureDuration(0, static_cast<uint16_t>(measure));
    if (length == 0) length = kQXWhole;
    const int32_t to = measure == region.endMeasure && region.endPos <= length ? region.endPos : length;
    int32_t from = measure == region.startMeasure ? region.startPos : 0;
    if (to < from) {
      ShowAlert(window, kQXAlertPlain, kInternalError);
      return 1.0;
    }
    for (;;) {
      if (next < m_map.size() && m_map[next].measure == measure && m_map[next].position > length) {
        m_map[next].position = length;  // an indication beyond its measure acts at its end
      }
      if (next >= m_map.size() || m_map[next].measure > measure || m_map[next].position > to) {
        total += (to - from) * 60.0 / tempo / 1024.0;
        break;
      }
      if (m_map[next].measure < measure) {
        ShowAlert(window, kQXAlertPlain, kInternalError);
        return 1.0;
      }
      total += (m_map[next].position - from) * 60.0 / tempo / 1024.0;
      tempo = m_map[next].tempo;
      from = m_map[next].position;
      ++next;
    }
  }
  return total;
}

}  // namespace ostinel

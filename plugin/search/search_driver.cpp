#include "search/search_driver.h"

#include <algorithm>

#include "cue/cue_job.h"
#include "cue/cue_writer.h"
#include "host/alerts.h"
#include "host/host_ops.h"
#include "resources/resource_ids.h"
#include "resources/texts.h"
#include "score/tempo_map.h"
#include "search/dialog_controls.h"
#include "search/marking.h"
#include "search/proposal.h"
#include "search/rest_measurement.h"
#include "search/search_state.h"
#include "search/settings.h"

namespace ostinel {

namespace {

enum class StepResult { Location, Complete, Cancelled };

bool Interactive(HWND dialog) { return IsChecked(dialog, IDC_INTERACTIVE); }
bool MarkMode(HWND dialog) { return IsChecked(dialog, IDC_MODE_MARK); }
bool Ask(HWND dialog) { return Interactive(dialog) || g_search.proposalScore == 0; }
bool MeasuresMode() { return (g_workingFlags & kFlagMeasures) != 0; }

// In Seconds mode a staff's rest before a re-entry is measured to five times
// the threshold; a staff that rests on after it does so for 2 measures, or 5 seconds.
constexpr int kSecondsReachFactor = 5;
constexpr int kRestsOnMeasures = 2;
constexpr int kRestsOnSeconds = 5;
bool WalkComplete() { return g_search.currentSlot > g_search.searchRegion.endSlot; }

// Opens the pass's edit unless one of the plug-in's is open. The host's
// answer is not looked at: the edit counts as open either way, the pass
// goes on, and it is ended as any other.
void OpenEdit(HWND dialog) {
  if (EditOpen()) return;
  const char* label = MarkMode(dialog) ? g_texts.editMark : Interactive(dialog) ? g_texts.editSearch : g_texts.title;
  QX_StartQuivraEdit(label);
}

// The selection converted to the score's own staff order.
void ToScoreOrder(QXRegion* region) {
  if (region->startList == 0) return;
  region->startSlot = QX_InstToSlot(QX_SlotToInst(static_cast<uint16_t>(region->startSlot), region->startList), 0);
  region->endSlot = QX_InstToSlot(QX_SlotToInst(static_cast<uint16_t>(region->endSlot), region->endList), 0);
  region->startList = 0;
  region->endList = 0;
}

bool SecondaryStaff(int slot) {
  const int16_t instrument = QX_SlotToInst(static_cast<uint16_t>(slot), 0);
  const auto& secondary = g_search.secondaryGroupStaves;
  return instrument >= 1 && static_cast<size_t>(instrument) <= secondary.size() && secondary[instrument - 1];
}

// Which staves rest and re-enter with the current one (they receive the cue
// too); returns how many staves are not possible sources, and sets the
// latest start of their rests.
int ChooseDestinations(HWND dialog, int* latestStart) {
  const QXRegion& document = g_search.documentRegion;
  const int threshold = g_settings.threshold;
  const int restEnd = g_search.restEnd;
  auto& destinations = g_cueJob.destinationStaves;
  destinations.clear();
  int count = 0;
  for (int slot = document.startSlot; slot <= document.endSlot; ++slot) {
    if (slot == g_search.currentSlot) {
      destinations.push_back(true);
      ++count;
      continue;
    }
    if (QX_SlotToInst(static_cast<uint16_t>(slot), 0) < 1) continue;
    if (SecondaryStaff(slot)) {
      destinations.push_back(false);
      continue;
    }
    int first = 0;
    int last = 0;
    const double before = RestLength(dialog, slot, restEnd, &last, &first, Direction::Backward,
                                     MeasuresMode() ? threshold : kSecondsReachFactor * threshold, kUnlimited);
    if (threshold > before || restEnd + 1 >= document.endMeasure || HasCue(slot, restEnd + 1)) {
      destinations.push_back(false);  // it plays during the rest: a possible source
      continue;
    }
    int after = 0;
    int afterFirst = 0;
    const double restingOn =
        RestLength(dialog, slot, restEnd + 1, &after, &afterFirst, Direction::Backward, kUnlimited, kUnlimited);
    if (HasCue(slot, restEnd + 2) || (MeasuresMode() ? kRestsOnMeasures : kRestsOnSeconds) <= restingOn) {
      destinations.push_back(false);  // it goes on resting after the re-entry
      ++count;
      continue;
    }
    *latestStart = std::max(*latestStart, first);
    destinations.push_back(slot >= g_search.currentSlot && slot <= g_search.searchRegion.endSlot);
    ++count;
  }
  return count;
}

void Present(HWND dialog) {
  SetControlState(dialog, kAtLocation | kCueOptions | kTakeFocus);
  FillCueFields(dialog, g_search.proposedLayer + 1);
  if (!Ask(dialog)) return;
  QX_ExecuteMenuItem(kQXMenuShowSelection);
  const QXRegion& document = g_search.documentRegion;
  const auto staff =
      static_cast<uint16_t>(QX_SlotToInst(static_cast<uint16_t>(g_search.currentSlot), document.startList));
  if (g_search.proposalScore == 0) {
    const QXRegion nothing{};
    QX_SetCurERegion(&nothing);
    QX_ScrollTo(static_cast<uint16_t>(g_search.restEnd - 1), staff);
  } else {
    const QXRegion cue{document.startList,
                       static_cast<int16_t>(g_search.proposedSlot),
                       static_cast<int16_t>(g_search.proposedFirstMeasure),
                       0,
                       document.endList,
                       static_cast<int16_t>(g_search.proposedSlot),
                       static_cast<int16_t>(g_search.proposedFirstMeasure + g_search.proposedLength - 1),
                       kQXEndOfMeasure};
    QX_SetCurERegion(&cue);
    QX_ScrollTo(static_cast<uint16_t>(g_search.proposedFirstMeasure), staff);
  }
  QX_RedrawMusic(nullptr);
}

StepResult Step(HWND dialog, bool mark) {
  g_search.proposalScore = 0;
  SetCueName(dialog, g_texts.automatic);
  SetStatus(dialog, g_texts.searching);
  const QXRegion& region = g_search.searchRegion;
  const int measuresPerStaff = region.endMeasure - region.startMeasure + 1;
  const uint32_t progress =
      QX_StartMassEdit(&region, measuresPerStaff * (region.endSlot - region.startSlot + 1));
  const int32_t startMeasure = g_search.currentMeasure;
  const int32_t startSlot = g_search.currentSlot;
  const int32_t startNext = g_search.nextMeasure;
  int32_t doneBefore = 0;

  for (;;) {
    g_search.currentMeasure = g_search.nextMeasure;
    if (g_search.currentMeasure > region.endMeasure) {
      g_search.nextMeasure = g_search.currentMeasure = region.startMeasure;
      do {
        ++g_search.currentSlot;
      } while (g_search.currentSlot <= region.endSlot && SecondaryStaff(g_search.currentSlot));
      if (g_search.currentSlot > region.endSlot ||
          QX_SlotToInst(static_cast<uint16_t>(g_search.currentSlot), 0) == 0) {
        g_search.currentSlot = std::max<int32_t>(g_search.currentSlot, region.endSlot + 1);
        SetControlState(dialog, kCueOptions | kTakeFocus);
        QX_EndMassEdit(progress, 0);
        return StepResult::Complete;
      }
    }

    const int32_t done = (g_search.currentSlot - region.startSlot) * measuresPerStaff +
                         (g_search.currentMeasure - region.startMeasure + 1);
    const auto staff = static_cast<uint16_t>(QX_SlotToInst(static_cast<uint16_t>(g_search.currentSlot), region.startList));
    if (QX_MassEditProgress(progress, done - doneBefore, staff, static_cast<uint16_t>(g_search.currentMeasure),
                            kQXProgressFlags) == 0) {
      QX_EndMassEdit(progress, 1);
      QX_SetDlgItemVal(dialog, IDC_INTERACTIVE, kQXValueCheck, 1);
      g_search.currentMeasure = startMeasure;
      g_search.currentSlot = startSlot;
      g_search.nextMeasure = startNext;
      SetStatus(dialog, g_texts.ready);
      return StepResult::Cancelled;
    }
    doneBefore = done;
    ShowPosition(dialog, g_search.currentSlot, g_search.currentMeasure);

    int first = 0;
    int restEnd = 0;
    g_search.restLength = RestLength(dialog, g_search.currentSlot, g_search.currentMeasure, &restEnd, &first,
                                     Direction::Forward, kUnlimited, region.endMeasure + 1);
    g_search.restEnd = restEnd;
    g_search.nextMeasure = restEnd >= g_search.currentMeasure ? restEnd + 1 : g_search.currentMeasure + 1;
    const bool candidate = static_cast<double>(g_settings.threshold) <= g_search.restLength &&
                           restEnd + 1 < g_search.documentRegion.endMeasure && restEnd <= region.endMeasure &&
                           !HasCue(g_search.currentSlot, restEnd + 1);
    if (!candidate) continue;

    QX_SetDlgItemVal(dialog, IDC_MEASURE_NUMBER, kQXValueInteger, restEnd);
    int latestStart = g_search.currentMeasure;
    if (mark) {
      QX_EndMassEdit(progress, 0);
      return StepResult::Location;
    }
    const int count = ChooseDestinations(dialog, &latestStart);
    Propose(dialog, latestStart, restEnd);
    if (count >= static_cast<int>(g_cueJob.destinationStaves.size())) continue;  // every staff rests
    Present(dialog);
    QX_EndMassEdit(progress, 0);
    return StepResult::Location;
  }
}

void ShowCount(HWND dialog, int32_t count, uint32_t many, uint32_t one) {
  if (count < 1) return;
  char format[128];
  char text[200];
  LoadPluginString(count >= 2 ? many : one, format, sizeof format);
  FormatText(text, sizeof text, format, static_cast<long>(count));
  ShowAlert(dialog, kQXAlertInformation, text);
}

void Finish(HWND dialog, bool startedByButton, bool found) {
  if (startedByButton && !found) {
    SetCloseCaption(dialog, g_texts.close);
    ShowAlert(dialog, kQXAlertWarning, IDS_NOTHING_FOUND);
  } else {
    ShowCount(dialog, g_search.markedCount, IDS_MARKED_MANY, IDS_MARKED_ONE);
    ShowCount(dialog, g_search.createdCount, IDS_CREATED_MANY, IDS_CREATED_ONE);
    SetCloseCaption(dialog, g_texts.done);
  }
  QX_SetDlgFocus(dialog, IDC_CLOSE);
  RestoreUserSelection();
}

// Reads where the cue comes from into the cue job; false (with a message
// where the user can mend it) when it cannot.
bool ChooseSource(HWND dialog, const QXRegion& selection) {
  QXRegion& source = g_cueJob.source;
  if (!IsChecked(dialog, IDC_USE_PROPOSED)) {
    source = selection;
    if (source.startSlot != source.endSlot) {
      ShowAlert(dialog, kQXAlertError, IDS_ONE_STAFF_ONLY);
      return false;
    }
    if (source.startList != 0) {
      ToScoreOrder(&source);
    } else if (source.startMeasure == 0) {
      ShowAlert(dialog, kQXAlertError, IDS_SELECT_CUE_MEASURES);
      return false;
    }
  } else if (g_search.proposalScore != 0) {
    source = g_search.documentRegion;
    source.startSlot = source.endSlot = static_cast<int16_t>(g_search.proposedSlot);
    source.startMeasure = static_cast<int16_t>(g_search.proposedFirstMeasure);
    source.startPos = 0;
    source.endMeasure = static_cast<int16_t>(g_search.proposedFirstMeasure + g_search.proposedLength - 1);
    source.endPos = kQXEndOfMeasure;
  } else {
    return false;
  }
  g_cueJob.hasSource = 1;
  return true;
}

}  // namespace

bool SearchExists() { return g_search.groups != nullptr; }

void SearchRelease() { g_search.groups.reset(); }

void SearchStart(HWND dialog, bool startedByButton) {
  Enable(dialog, IDC_START, false);
  Enable(dialog, IDOK, false);
  g_searchActive = true;
  SetCueName(dialog, g_texts.automatic);
  g_search.groups = std::make_unique<TGroupList>();
  g_search.groups->Make(0);

  uint32_t output = 0;
  QX_GetCurERegions(&output, &g_search.searchRegion, &g_search.documentRegion);
  ResetRestMeasurement();
  if (g_search.searchRegion.startMeasure == 0) g_search.searchRegion = g_search.documentRegion;
  ToScoreOrder(&g_search.searchRegion);

  int largest = 1;
  for (int slot = 1; slot <= g_search.documentRegion.endSlot; ++slot) {
    largest = std::max<int>(largest, QX_SlotToInst(static_cast<uint16_t>(slot), 0));
  }
  g_search.secondaryGroupStaves.assign(static_cast<size_t>(largest), false);

  if (!MeasuresMode()) {
    OpenEdit(dialog);
    Enable(dialog, IDC_CLOSE, false);
    SetStatus(dialog, g_texts.loadingTempo);
    const bool built = g_duration.Build(g_search.searchRegion, dialog);
    Enable(dialog, IDC_CLOSE, true);
    if (!built) {
      // The edit opened for the search stays open: the next pass takes it up.
      SetStatus(dialog, g_texts.ready);
      return;
    }
  }
  g_search.currentMeasure = g_search.nextMeasure = g_search.searchRegion.startMeasure;
  g_search.currentSlot = g_search.searchRegion.startSlot;
  g_search.markedCount = g_search.createdCount = 0;
  SearchPass(dialog, startedByButton);
}

void SearchContinue(HWND dialog) {
  Enable(dialog, IDC_START, false);
  Enable(dialog, IDOK, false);
  g_searchActive = true;
  SearchPass(dialog, false);
}

void SearchPass(HWND dialog, bool startedByButton) {
  Enable(dialog, IDC_CLOSE, false);
  Enable(dialog, IDC_START, false);
  Enable(dialog, IDC_CREATE, false);
  Enable(dialog, IDC_CONTINUE, false);
  bool found = false;
  const bool mark = MarkMode(dialog);
  OpenEdit(dialog);
  const bool commit = mark || !Interactive(dialog);
  const int32_t markedBefore = g_search.markedCount;

  for (;;) {
    if (Step(dialog, mark) == StepResult::Cancelled) break;
    if (WalkComplete()) break;
    found = true;
    if (mark) {
      MarkLocation();
      continue;
    }
    if (g_search.proposalScore == 0 || Interactive(dialog) || !SearchCreate(dialog)) break;
  }

  if (g_search.markedCount > markedBefore) QX_RedrawMusic(&g_search.documentRegion);
  if (WalkComplete()) {
    Finish(dialog, startedByButton, found);
  } else {
    SetCloseCaption(dialog, g_texts.stop);
  }
  Enable(dialog, IDC_CLOSE, true);
  // A cue that failed took back its own half-written staff: what the pass
  // wrote before stays, in its edit.
  if (EditOpen()) {
    if (commit) {
      QX_EndQuivraEdit();
    } else {
      QX_CancelQuivraEdit();
    }
  }
}

bool SearchCreate(HWND dialog) {
  SetStatus(dialog, g_texts.adding);
  uint32_t output = 0;
  QXRegion selection{};
  QX_GetCurERegions(&output, &selection, &g_search.documentRegion);
  if (!ChooseSource(dialog, selection)) return false;

  bool created = false;
  g_cueJob.document = g_search.documentRegion;
  g_cueJob.groups = g_search.groups.get();
  if (g_cueJob.source.startMeasure != 0 && ReadCueJob(dialog) != 0) {
    created = CreateCue(&g_search.createdCount) != 0;
    for (const auto& [slot, measure] : g_cueJob.cuedMeasures) MarkMeasureCued(slot, measure, 0);
    if (Ask(dialog)) QX_RedrawMusic(&g_search.documentRegion);
    // Every staff that received the cue leaves the set; one that did not
    // keeps its place there and makes the creation count as failed. This
    // holds after a creation that failed part way too: the location is then
    // offered again with only the staves still without the cue chosen, so
    // that creating again does not meet a layer that is no longer empty.
    auto& destinations = g_cueJob.destinationStaves;
    for (size_t line = 0; line < destinations.size(); ++line) {
      if (!destinations[line]) continue;
      if (HasCue(static_cast<int>(line) + 1, g_cueJob.source.startMeasure)) {
        destinations[line] = false;
      } else {
        created = false;
      }
    }
  }
  if (created) return true;
  // The location is offered again, with the staves still without the cue.
  QX_SetDlgItemVal(dialog, IDC_INTERACTIVE, kQXValueCheck, 1);
  SetStatus(dialog, g_texts.askAdd);
  FillCueFields(dialog, 0);
  return false;
}

}  // namespace ostinel

// Host operations over the score as a whole: regions, staves, layers,
// measure lengths, the view, fonts, caret commands and entry metrics.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "exports.h"
#include "quivrasim/text_format.h"

using namespace quivrasim;

int16_t QXAPI QX_GetCurERegions(uint32_t* output, QXRegion* selection, QXRegion* document, uint32_t) {
  Host& host = Serve(Op::QX_GetCurERegions);
  if (output != nullptr) *output = 1;
  if (selection != nullptr) *selection = host.Selection();
  if (document != nullptr) *document = host.DocumentRegion();
  return 1;
}

int16_t QXAPI QX_SetCurERegion(const QXRegion* region, uint32_t) {
  Host& host = Serve(Op::QX_SetCurERegion);
  if (region == nullptr) return 0;
  host.Selection() = *region;
  host.SelectionsSet().push_back(*region);
  return 1;
}

int16_t QXAPI QX_RedrawMusic(const QXRegion* region, uint32_t) {
  Host& host = Serve(Op::QX_RedrawMusic);
  host.Redraws().push_back(region != nullptr ? std::optional<QXRegion>(*region) : std::nullopt);
  return 1;
}

int16_t QXAPI QX_ScrollTo(uint16_t measure, uint16_t instrument, uint32_t) {
  Serve(Op::QX_ScrollTo).Scrolls().push_back(Scroll{measure, instrument});
  return 1;
}

// Staff lists other than the score's own (studio view's) keep the score order.
// A staff list other than the score's own (0) holds the staves bottom up, as
// the studio view lists them here.
int16_t QXAPI QX_SlotToInst(uint16_t slot, uint16_t list, uint32_t) {
  const Document& document = Serve(Op::QX_SlotToInst).Doc();
  const int inList = list == 0 || slot < 1 || slot > document.StaffCount() ? slot : document.StaffCount() + 1 - slot;
  return static_cast<int16_t>(document.InstrumentAt(inList));
}

int16_t QXAPI QX_InstToSlot(uint16_t instrument, uint16_t list, uint32_t) {
  const Document& document = Serve(Op::QX_InstToSlot).Doc();
  const int slot = document.SlotOf(instrument);
  return static_cast<int16_t>(list == 0 || slot == 0 ? slot : document.StaffCount() + 1 - slot);
}

int16_t QXAPI QX_GetMaxLayers(uint32_t) { return static_cast<int16_t>(Serve(Op::QX_GetMaxLayers).Doc().MaxLayers()); }

int16_t QXAPI QX_GetShowLayer(uint16_t layer, uint32_t) {
  return Serve(Op::QX_GetShowLayer).Doc().LayerShown(layer) ? 1 : 0;
}

int32_t QXAPI QX_GetMeasureDuration(uint16_t, uint16_t measure, uint32_t) {
  const Document& document = Serve(Op::QX_GetMeasureDuration).Doc();
  if (measure < 1 || measure > document.MeasureCount()) return 0;
  return document.MeasureLength(measure);
}

int16_t QXAPI QX_FontNameToNum(const char* name, uint32_t) {
  Host& host = Serve(Op::QX_FontNameToNum);
  return name != nullptr ? host.FontNumber(name) : 0;
}

// Parses one caret command at text: "^font(Name)", "^size(n)", "^efx(styles)"
// change the font; other commands leave it. Returns the text after the
// command (the text itself when it does not start with one).
const char* QXAPI QX_ParseCaretCommand(const char* text, uint32_t, QXFontInfo* font, uint32_t) {
  Host& host = Serve(Op::QX_ParseCaretCommand);
  if (text == nullptr || text[0] != '^') return text;
  // Only as far as the command's closing bracket is read.
  const char* close = std::strchr(text, ')');
  const std::string command(text, close != nullptr ? close + 1 : text + std::strlen(text));
  const CaretCommand parsed = ReadCaretCommand(command, 0);
  if (font != nullptr) {
    if (parsed.name == "font") font->font = host.FontNumber(parsed.argument);
    if (parsed.name == "size") font->size = static_cast<int16_t>(std::atoi(parsed.argument.c_str()));
    if (parsed.name == "efx") font->efx = ParseEfx(parsed.argument);
  }
  return text + parsed.length;
}

// The host's vertical layout of an entry: the highest note's top, and where
// text above the staff goes, in units of a twelfth of a staff space (a
// diatonic step is 12); a note above the staff pushes the text up.
int16_t QXAPI QX_GetEntryMetrics(uint16_t instrument, uint16_t measure, uint32_t entry, QXEntryMetrics* metrics,
                                 QXStaffMetrics* staff, uint16_t, uint32_t) {
  Host& host = Serve(Op::QX_GetEntryMetrics);
  const auto location = host.Doc().FindEntry(entry);
  if (!location || location->first.instrument != instrument || location->first.measure != measure) return 0;
  if (metrics == nullptr || staff == nullptr) return 0;
  const QXEntry e = host.Doc().Frame(location->first)->at(static_cast<size_t>(location->second));
  std::memset(metrics, 0, sizeof *metrics);
  std::memset(staff, 0, sizeof *staff);
  constexpr int kTopLineStep = 10;  // F5, the treble staff's top line
  int highest = -1000;
  const bool hasNotes = (e.flags & kQXEntryNote) != 0;
  for (int i = 0; hasNotes && i < std::min<int>(e.noteCount, kQXMaxNotes); ++i) {
    highest = std::max(highest, static_cast<int>(static_cast<int16_t>(e.notes[i].word0)));
  }
  metrics->noteCount = hasNotes ? e.noteCount : 0;
  const int above = hasNotes ? std::max(0, highest - kTopLineStep) : 0;
  metrics->top = -12 * above;
  staff->textBaseline = 35;
  return 1;
}

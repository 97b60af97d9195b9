// Host failures at every point of a run: whichever record, frame, edit or
// progress call fails, the plug-in neither crashes nor leaves an edit open,
// the document holds only cues and markers that were completely written, and
// every cue written before the failure stays.
#include <map>
#include <set>

#include "harness.h"
#include "quivra/qx_records.h"

namespace ostinel_test {
namespace {

using quivrasim::DialogSession;
using quivrasim::EntrySpec;

constexpr int kMeasures = 16;
constexpr int kCueLayer = 3;  // the dialog's default destination layer

// Sixteen measures of 4/4. The flute plays throughout, a different note each
// beat; the oboe and the clarinet rest in 3..9 and come back in 10; the horn
// rests in 5..13. Three locations, cues for three staves.
void BuildScore(quivrasim::ScoreBuilder& build) {
  build.Measures(kMeasures);
  const uint16_t flute = build.Staff("Flute", "Fl.");
  const uint16_t oboe = build.Staff("Oboe", "Ob.");
  const uint16_t clarinet = build.Staff("Clarinet", "Cl.");
  const uint16_t horn = build.Staff("Horn", "Hn.");
  for (int measure = 1; measure <= kMeasures; ++measure) {
    build.Entries(flute, measure, 0,
                  {EntrySpec::Note(1024, measure), EntrySpec::Note(1024, measure + 1),
                   EntrySpec::Note(1024, measure + 2), EntrySpec::Note(1024, measure + 3)});
  }
  build.Play(oboe, 1, 2).Play(oboe, 10, kMeasures);
  build.Play(clarinet, 1, 2).Play(clarinet, 10, kMeasures);
  build.Play(horn, 1, 4).Play(horn, 14, kMeasures);
}

enum class Mode { Interactive, Automatic, Mark };

struct SweepCase {
  const char* name;
  Mode mode;
};

void PrintTo(const SweepCase& c, std::ostream* os) { *os << c.name; }

// What a staff plays in a frame, for comparing a cue with its source.
struct Sounding {
  int duration;
  bool note;
  std::vector<uint16_t> pitches;
  bool operator==(const Sounding&) const = default;
};
std::vector<Sounding> Music(const quivrasim::Entries& entries) {
  std::vector<Sounding> music;
  for (const QXEntry& entry : entries) {
    Sounding sounding{entry.duration, (entry.flags & kQXEntryNote) != 0, {}};
    for (int i = 0; sounding.note && i < std::min<int>(entry.noteCount, kQXMaxNotes); ++i) {
      sounding.pitches.push_back(entry.notes[i].word0);
    }
    music.push_back(sounding);
  }
  return music;
}

// The cue layer's music of every staff and measure where it holds some.
using CueLayers = std::map<std::pair<uint16_t, int>, std::vector<Sounding>>;

// What the run had written when each cue was finished: the fallible calls
// made until then, and the cue layers.
struct Finished {
  int calls;
  CueLayers cues;
};

// One run of the plug-in in a host of its own, with the n-th fallible host
// call failing (0: none).
class FaultedRun {
 public:
  FaultedRun(Mode mode, int failAt) : m_mode(mode) {
    BuildScore(m_build);
    for (int slot = 1; slot <= m_host.Doc().StaffCount(); ++slot) {
      const uint16_t staff = m_host.Doc().InstrumentAt(slot);
      for (int measure = 1; measure <= kMeasures; ++measure) {
        for (int layer = 0; layer < 4; ++layer) m_original[{staff, measure, layer}] = EntriesOf(m_host, staff, measure, layer);
      }
    }
    m_originalFingerprint = m_host.Doc().Fingerprint();
    std::string error;
    m_plugin = quivrasim::Plugin::Load(m_host, PluginPath(), &error);
    EXPECT_NE(m_plugin, nullptr) << error;
    if (m_plugin == nullptr) return;
    m_plugin->Start();
    m_host.FailNthFallible(failAt);
    m_host.OnDialog([&](DialogSession& d) { Use(d); });
    m_host.OnProgressRun([&](const quivrasim::ProgressRun& run) {
      if (!run.region && run.ended) m_finished.push_back(Finished{m_host.FallibleCalls(), CueLayersNow()});
    });
    m_plugin->Invoke();
    m_plugin.reset();
    if (m_host.FaultsInjected() > 0) m_fault = m_host.LastFault();
  }

  int FallibleCalls() const { return m_host.FallibleCalls(); }
  const std::vector<Finished>& FinishedCues() const { return m_finished; }

  // The cues the run without failures had finished before call n stay
  // written, whatever fails afterwards.
  void CheckKept(const std::vector<Finished>& clean, int n) {
    const Finished* before = nullptr;
    for (const Finished& finished : clean) {
      if (finished.calls < n) before = &finished;
    }
    if (before == nullptr) return;
    const CueLayers now = CueLayersNow();
    for (const auto& [where, music] : before->cues) {
      const auto found = now.find(where);
      EXPECT_TRUE(found != now.end() && found->second == music)
          << "the cue in staff " << where.first << ", measure " << where.second << " was taken back";
    }
  }
  quivrasim::Op Fault() const { return m_fault; }
  int CueRuns() const { return m_cueRuns; }
  int Markers() const { return m_markers; }

  // Everything a failure must not break; the trace names the failing call.
  void Check() {
    EXPECT_TRUE(m_host.LiveFrames().empty()) << "frames loaded and never freed";
    EXPECT_EQ(m_host.MisuseCount(), 0) << (m_host.Misuses().empty() ? "" : m_host.Misuses().front());
    EXPECT_FALSE(m_host.Doc().EditOpen()) << "an edit was left open";
    // An edit the host refused to open does not stop the work: what it
    // writes is then outside any edit, and beyond undo.
    const bool refusedEdit = m_fault == quivrasim::Op::QX_StartQuivraEdit;
    EXPECT_TRUE(refusedEdit || m_host.Doc().UnjournaledChanges() == 0) << "a change outside an edit";
    CheckCues();
    CheckMarkers();
    m_markers = MarkerCount(m_host);
    while (m_host.Doc().Undo()) {
    }
    EXPECT_TRUE(refusedEdit || m_host.Doc().Fingerprint() == m_originalFingerprint)
        << "undoing every edit gives the score back";
  }

 private:
  void Use(DialogSession& d) {
    Configure(d, {.mark = m_mode == Mode::Mark, .interactive = m_mode == Mode::Interactive, .threshold = 5,
                  .desired = 3, .allowed = 8});
    d.Click(IDC_START);
    // At each location the user creates the cue; a failed creation stays
    // there and is tried once more before the user stops.
    for (int step = 0; step < 8 && d.Enabled(IDC_CREATE); ++step) d.Click(IDC_CREATE);
    if (!d.Ended() && d.Enabled(IDC_CREATE)) d.Click(IDC_CLOSE);  // Stop
    if (!d.Ended()) d.Click(IDC_CLOSE);
  }

  CueLayers CueLayersNow() {
    CueLayers cues;
    for (int slot = 1; slot <= m_host.Doc().StaffCount(); ++slot) {
      const uint16_t staff = m_host.Doc().InstrumentAt(slot);
      for (int measure = 1; measure <= kMeasures; ++measure) {
        const quivrasim::Entries entries = EntriesOf(m_host, staff, measure, kCueLayer);
        if (!entries.empty()) cues[{staff, measure}] = Music(entries);
      }
    }
    return cues;
  }

  const quivrasim::Entries& Original(uint16_t staff, int measure, int layer) {
    return m_original[{staff, measure, layer}];
  }

  // Every change to a staff's frames is a complete cue: a run of measures
  // of its cue layer that ends where its rest ends, holds some other staff's
  // music for those measures, every note sized, its name at its first
  // measure, and layer 1 below it only ever completed with whole rests.
  void CheckCues() {
    std::map<uint16_t, std::set<int>> namedAt;
    for (int measure = 1; measure <= kMeasures; ++measure) {
      for (const auto& [staff, text] : ExpressionsAt(m_host, measure)) {
        EXPECT_NE(text, "<none>") << "a cue name without its definition at measure " << measure;
        namedAt[staff].insert(measure);
      }
    }
    for (int slot = 1; slot <= m_host.Doc().StaffCount(); ++slot) {
      const uint16_t staff = m_host.Doc().InstrumentAt(slot);
      for (int measure = 1; measure <= kMeasures; ++measure) {
        for (const int layer : {1, 2}) {
          EXPECT_EQ(Music(EntriesOf(m_host, staff, measure, layer)), Music(Original(staff, measure, layer)))
              << "staff " << staff << " measure " << measure << " layer " << layer + 1 << " changed";
        }
        const quivrasim::Entries first = EntriesOf(m_host, staff, measure, 0);
        if (Music(first) != Music(Original(staff, measure, 0))) {
          EXPECT_TRUE(Original(staff, measure, 0).empty());
          EXPECT_EQ(Music(first), (std::vector<Sounding>{{4096, false, {}}})) << "layer 1 completed with a rest";
          EXPECT_TRUE(MayStopEarly() || !EntriesOf(m_host, staff, measure, kCueLayer).empty())
              << "a completed layer 1 without a cue";
        }
      }
      int measure = 1;
      while (measure <= kMeasures) {
        if (Music(EntriesOf(m_host, staff, measure, kCueLayer)) == Music(Original(staff, measure, kCueLayer))) {
          ++measure;
          continue;
        }
        const int start = measure;
        while (measure <= kMeasures &&
               Music(EntriesOf(m_host, staff, measure, kCueLayer)) != Music(Original(staff, measure, kCueLayer))) {
          ++measure;
        }
        CheckCue(staff, start, measure - 1, namedAt[staff].count(start) != 0);
        namedAt[staff].erase(start);
        ++m_cueRuns;
      }
      EXPECT_TRUE(namedAt[staff].empty()) << "a cue name on staff " << staff << " without its cue";
    }
  }

  // What a failure may legitimately change. A frame the host does not give
  // reads as an empty measure (so a cue may leave it out, or be placed
  // elsewhere); a cancelled progress ends the cue at the measure being
  // copied, which stays; a record that cannot be written costs the cue its
  // name or a note its size, never its notes.
  bool MayStopEarly() const {
    return m_fault == quivrasim::Op::QX_LoadTGF || m_fault == quivrasim::Op::QX_MassEditProgress;
  }
  bool MayLoseName() const {
    return m_fault == quivrasim::Op::QX_LoadTGF || m_fault == quivrasim::Op::QX_LoadEData ||
           m_fault == quivrasim::Op::QX_CreateEData || m_fault == quivrasim::Op::QX_SaveEData ||
           m_fault == quivrasim::Op::QX_NextEData;
  }

  void CheckCue(uint16_t staff, int start, int end, bool named) {
    SCOPED_TRACE("cue on staff " + std::to_string(staff) + ", measures " + std::to_string(start) + "-" +
                 std::to_string(end));
    EXPECT_TRUE(named || MayLoseName()) << "the cue has no name";
    ASSERT_LT(end, kMeasures);
    const quivrasim::Entries entry = EntriesOf(m_host, staff, end + 1, 0);
    EXPECT_TRUE(MayStopEarly() || (!entry.empty() && (entry[0].flags & kQXEntryNote) != 0))
        << "the cue does not reach the entry";
    bool fromSomeStaff = false;
    for (int slot = 1; slot <= m_host.Doc().StaffCount(); ++slot) {
      const uint16_t source = m_host.Doc().InstrumentAt(slot);
      bool same = source != staff;
      for (int measure = start; same && measure <= end; ++measure) {
        same = Music(EntriesOf(m_host, staff, measure, kCueLayer)) == Music(EntriesOf(m_host, source, measure, 0));
      }
      fromSomeStaff = fromSomeStaff || same;
    }
    EXPECT_TRUE(fromSomeStaff) << "the cue is no staff's music, measure for measure";
    for (int measure = start; measure <= end; ++measure) {
      for (const QXEntry& cue : EntriesOf(m_host, staff, measure, kCueLayer)) {
        if ((cue.flags & kQXEntryNote) != 0 && !MayLoseName()) {
          EXPECT_EQ(SizePercent(m_host, cue.number), 75) << "measure " << measure;
        }
      }
    }
  }

  // Every marker has its text, and its measure says it has one.
  void CheckMarkers() {
    for (int slot = 1; slot <= m_host.Doc().StaffCount(); ++slot) {
      const uint16_t staff = m_host.Doc().InstrumentAt(slot);
      for (int measure = 1; measure <= kMeasures; ++measure) {
        for (const std::string& text : MarkerTexts(m_host, staff, measure)) {
          EXPECT_THAT(text, HasSubstr("measures of rest"));
        }
      }
    }
  }

  Mode m_mode;
  quivrasim::Host m_host;
  quivrasim::ScoreBuilder m_build{m_host.Doc()};
  std::unique_ptr<quivrasim::Plugin> m_plugin;
  std::map<std::tuple<uint16_t, int, int>, quivrasim::Entries> m_original;
  std::vector<Finished> m_finished;
  uint64_t m_originalFingerprint = 0;
  int m_cueRuns = 0;
  int m_markers = 0;
  quivrasim::Op m_fault = quivrasim::Op::Count;
};

class FaultSweep : public ::testing::TestWithParam<SweepCase> {};

TEST_P(FaultSweep, EveryFailingHostCallLeavesTheScoreWholeAndNoEditOpen) {
  FaultedRun clean(GetParam().mode, 0);
  clean.Check();
  const int calls = clean.FallibleCalls();
  if (GetParam().mode == Mode::Mark) {
    ASSERT_EQ(clean.Markers(), 3) << "the run without failures marks every location";
  } else {
    ASSERT_EQ(clean.CueRuns(), 3) << "the run without failures writes every cue";
  }
  ASSERT_GT(calls, 100);
  for (int n = 1; n <= calls; ++n) {
    FaultedRun run(GetParam().mode, n);
    SCOPED_TRACE("fallible host call " + std::to_string(n) + " of " + std::to_string(calls) + " fails: " +
                 quivrasim::OpName(run.Fault()));
    run.CheckKept(clean.FinishedCues(), n);
    run.Check();
    if (HasFailure()) break;  // the first failing point says enough
  }
  RecordProperty("fault_points", calls);
}

INSTANTIATE_TEST_SUITE_P(Runs, FaultSweep,
                         ::testing::Values(SweepCase{"interactive", Mode::Interactive},
                                           SweepCase{"automatic", Mode::Automatic}, SweepCase{"mark", Mode::Mark}),
                         [](const ::testing::TestParamInfo<SweepCase>& param) { return param.param.name; });

}  // namespace
}  // namespace ostinel_test

// What the written cues look like as music: the notation a reader needs to
// show them as their source reads, and the numbers people see.
#include <cstring>
#include <functional>

#include "cli_harness.h"
#include "exporter.h"
#include "importer.h"
#include "quivra/qx_records.h"
#include "quivrasim/host.h"
#include "quivrasim/score_builder.h"
#include "multi_rests.h"
#include "ranges.h"
#include "score_checks.h"
#include "score_compare.h"

namespace ostinel_test {
namespace {

using Json = nlohmann::json;

std::string Attributes(int divisions, int staves = 1) {
  std::string xml = "<divisions>" + std::to_string(divisions) +
                    "</divisions><time><beats>4</beats><beat-type>4</beat-type></time>";
  if (staves > 1) xml += "<staves>2</staves>";
  for (int staff = 1; staff <= staves; ++staff) {
    xml += "<clef number=\"" + std::to_string(staff) + "\"><sign>G</sign><line>2</line></clef>";
  }
  return xml;
}

std::string Note(const std::string& pitch, int duration, const std::string& type, const std::string& extra = "",
                 const std::string& notations = "") {
  return "<note><pitch><step>" + pitch.substr(0, 1) + "</step><octave>" + pitch.substr(1) + "</octave></pitch>" +
         "<duration>" + std::to_string(duration) + "</duration>" + extra + "<voice>1</voice><type>" + type + "</type>" +
         notations + "</note>";
}

// The oboe rests in measures 1-8 under a flute that plays `flute` in every measure.
std::vector<RawPart> UnderAFlute(const std::string& flute, int divisions) {
  RawPart fl{"Flute", Attributes(divisions), {}, ""};
  RawPart ob{"Oboe", Attributes(divisions), {}, ""};
  for (int m = 1; m <= 12; ++m) {
    fl.measures.push_back(flute);
    ob.measures.push_back(m <= 8 ? MeasureRest(4, divisions) : Quarters("G4 A4 B4 C5", divisions));
  }
  return {fl, ob};
}

class CueNotation : public ::testing::Test {
 protected:
  // Runs add mode on the score and reads the result back.
  void Cue(const std::string& score, std::vector<std::string> options = {}) {
    WriteText(dir.Path("in.musicxml"), score);
    std::vector<std::string> args = {dir.Path("in.musicxml"), "-o", dir.Path("out.musicxml"), "--mode", "add",
                                     "--measures", "--threshold", "6", "--json", dir.Path("summary.json")};
    args.insert(args.end(), options.begin(), options.end());
    run = RunOstinel(args, dir.Path("config"));
    ASSERT_EQ(run.status, 0) << run.err;
    out = Read(dir.Path("out.musicxml"));
    summary = ReadJson(dir.Path("summary.json"));
  }
  // The cue notes of a part's measure.
  std::vector<pugi::xml_node> CueNotes(int part, int measure) const {
    std::vector<pugi::xml_node> notes;
    const std::string path = "/score-partwise/part[" + std::to_string(part) + "]/measure[" + std::to_string(measure) +
                             "]/note[cue and not(@print-object='no')]";
    for (const pugi::xpath_node& node : out.select_nodes(path.c_str())) notes.push_back(node.node());
    return notes;
  }
  // What an XPath finds in each cue note of a part's measure, space-separated.
  std::string Values(int part, int measure, const char* path) const {
    std::string text;
    for (const pugi::xml_node note : CueNotes(part, measure)) {
      const pugi::xpath_node found = note.select_node(path);
      text += std::string(found.attribute() ? found.attribute().value() : found.node().child_value()) + " ";
    }
    return text.empty() ? text : text.substr(0, text.size() - 1);
  }
  // The score is the original plus cues that sound their source and fill their measures.
  void ExpectRightMusic() const {
    const Verdict verdict = CompareFiles(dir.Path("in.musicxml"), dir.Path("out.musicxml"), summary);
    EXPECT_TRUE(verdict.findings.empty()) << verdict;
  }

  TempDir dir;
  CommandRun run;
  pugi::xml_document out;
  Json summary;
};

TEST_F(CueNotation, TiesStayOnlyWhereTheCueHoldsBothNotesAndBeamsSlursMarksAndWordsCome) {
  // Measure 7 ties into 8, and 8 into 9, where the oboe comes in.
  std::vector<RawPart> parts = UnderAFlute(Quarters("C5 D5 E5 F5"), 2);
  for (int m = 1; m <= 12; ++m) {
    const bool tiedIn = m == 8 || m == 9;
    const bool tiedOut = m == 7 || m == 8;
    parts[0].measures[static_cast<size_t>(m - 1)] =
        Note("C5", 1, "eighth", tiedIn ? "<tie type=\"stop\"/>" : "",
             std::string("<beam number=\"1\">begin</beam><notations>") + (tiedIn ? "<tied type=\"stop\"/>" : "") +
                 "<slur type=\"start\"/></notations><lyric number=\"1\"><syllabic>single</syllabic><text>la</text>"
                 "</lyric>") +
        Note("D5", 1, "eighth", "", "<beam number=\"1\">end</beam><notations><slur type=\"stop\"/></notations>") +
        Note("E5", 2, "quarter", "", "<notations><articulations><staccato/></articulations></notations>") +
        Note("F5", 2, "quarter") +
        Note("C5", 2, "quarter", tiedOut ? "<tie type=\"start\"/>" : "",
             tiedOut ? "<notations><tied type=\"start\"/></notations>" : "");
  }
  Cue(RawScore(parts), {"--with", "all"});
  ASSERT_EQ(summary["locations"][0]["source"]["first"]["index"], 4) << summary;
  EXPECT_EQ(Values(2, 7, "notations/tied/@type"), "    start");
  EXPECT_EQ(Values(2, 8, "notations/tied/@type"), "stop    ") << "the cue's last note: its tie would go on outside the cue";
  EXPECT_EQ(Values(2, 5, "beam"), "begin end   ");
  const pugi::xml_node start = CueNotes(2, 5)[0].child("notations").child("slur");
  const pugi::xml_node stop = CueNotes(2, 5)[1].child("notations").child("slur");
  EXPECT_STREQ(start.attribute("type").value(), "start");
  EXPECT_STREQ(stop.attribute("type").value(), "stop");
  EXPECT_EQ(start.attribute("number").as_int(), stop.attribute("number").as_int());
  EXPECT_LE(start.attribute("number").as_int(), 6) << "readers before MusicXML 4.0 know six slur numbers";
  EXPECT_TRUE(CueNotes(2, 5)[2].child("notations").child("articulations").child("staccato"));
  EXPECT_STREQ(CueNotes(2, 5)[0].child("lyric").child_value("text"), "la");
  ExpectRightMusic();
}

TEST_F(CueNotation, AStaffOfAPianoGetsItsStaffNumberAndAVoiceNoOtherMusicUses) {
  RawPart flute{"Flute", Attributes(1), {}, ""};
  RawPart piano{"Piano", Attributes(1, 2), {}, ""};
  for (int m = 1; m <= 12; ++m) {
    flute.measures.push_back(Quarters("C5 D5 E5 F5"));
    const std::string lower = "<backup><duration>4</duration></backup><note><rest/><duration>4</duration>"
                              "<voice>5</voice><type>whole</type><staff>2</staff></note>";
    piano.measures.push_back(m <= 8 ? "<note><rest/><duration>4</duration><voice>1</voice><type>whole</type>"
                                      "<staff>1</staff></note>" + lower
                                    : Quarters("C4 E4 G4 C5") + lower);
  }
  Cue(RawScore({flute, piano}));
  ASSERT_EQ(CueNotes(2, 5).size(), 4u);
  EXPECT_EQ(Values(2, 5, "staff"), "1 1 1 1");
  EXPECT_EQ(Values(2, 5, "voice"), "6 6 6 6");
  EXPECT_STREQ(out.select_node("/score-partwise/part[2]/measure[4]/direction[@id]/staff").node().child_value(), "1")
      << "the cue's name stands on its staff";
  EXPECT_EQ(out.select_node("/score-partwise/part[2]/measure[4]/direction[@id]//words").node().attribute("font-size").as_int(),
            16) << "Times New Roman 16, with no font preference in the score";
  ExpectRightMusic();
}

TEST_F(CueNotation, EverythingTheUserReadsNamesMeasuresByTheScoresOwnNumbers) {
  // A pickup numbered 0, then 1 to 12.
  std::vector<RawPart> parts = UnderAFlute(Quarters("C5 D5 E5 F5"), 1);
  std::vector<std::string> numbers;
  for (int m = 0; m <= 12; ++m) numbers.push_back(std::to_string(m));
  parts[0].measures.insert(parts[0].measures.begin(), Quarters("C5"));
  parts[1].measures.insert(parts[1].measures.begin(), MeasureRest(1));
  std::string score = RawScore(parts, numbers);
  for (size_t at = score.find("<measure number=\"0\""); at != std::string::npos; at = score.find("<measure number=\"0\"", at + 1)) {
    score.insert(at + 8, " implicit=\"yes\"");
  }
  Cue(score);
  EXPECT_THAT(run.out, HasSubstr("Oboe: rest in measures 0-8 (9 measures); proposed cue Flute, measures 4-8"));
  EXPECT_EQ(summary["locations"][0]["rest"]["start"], (Json{{"number", "0"}, {"index", 1}}));
  EXPECT_EQ(summary["locations"][0]["proposal"]["last"], (Json{{"number", "8"}, {"index", 9}}));
  Cue(score, {"--bars", "1-12"});
  EXPECT_THAT(run.out, HasSubstr("Oboe: rest in measures 1-8 (8 measures)"));
  const CommandRun outside = RunOstinel({dir.Path("in.musicxml"), "--bars", "5-13"}, dir.Path("config"));
  EXPECT_EQ(outside.status, 2);
  EXPECT_THAT(outside.err, HasSubstr("--bars: the score prints no measure 13 after measure 5"));
}

// The export reads what the plug-in made from the host's journal: a record
// made and then changed in one edit is journaled twice, and is still one the
// plug-in made.
TEST(Export, ARecordMadeAndChangedInOneEditIsWrittenAsMade) {
  pugi::xml_document document;
  ASSERT_TRUE(document.load_string(SmallScore(Duet()).c_str()));
  quivrasim::Host host;
  ostinel_cli::ImportedScore score;
  std::string error;
  ASSERT_TRUE(ostinel_cli::ImportScore(document, host.Doc(), &score, &error)) << error;
  quivrasim::Document& doc = host.Doc();
  const int definition = quivrasim::ScoreBuilder(doc).TextExpression("Flute");
  ASSERT_TRUE(doc.BeginEdit("cue"));
  QXMeasureExpr name{};
  name.definition = static_cast<int16_t>(definition);
  name.staff = 2;
  const quivrasim::RecordKey key =
      doc.Records().Assign(kQXTagMeasureExpr, quivrasim::KeyScheme::Incidence, QXKey::Of(3, kQXNew));
  for (const int hpos : {0, 40}) {
    name.hpos = static_cast<int16_t>(hpos);
    quivrasim::Bytes bytes(sizeof name, 0);
    std::memcpy(bytes.data(), &name, sizeof name);
    doc.Records().Put(kQXTagMeasureExpr, key, bytes);
  }
  ASSERT_TRUE(doc.EndEdit());
  EXPECT_EQ(ostinel_cli::ExportAdditions(doc, score).cueNames, 1);
  EXPECT_STREQ(document.select_node("/score-partwise/part[2]/measure[3]/direction/direction-type/words").node().child_value(),
               "Flute");
}

TEST(MeasureRanges, FollowThePrintedNumbersWhereverTheyRestartOrSkip) {
  ostinel_cli::ImportedScore score;
  score.measureNumbers = {"0", "1", "2", "1", "2", "3", "7"};
  score.measureCount = 7;
  // A range as printed, and the measure indexes it names ("" for none).
  for (const auto& [text, indexes] : std::map<std::string, std::string>{
           {"1-2", "2-3"}, {"2-1", "3-4"}, {"0", "1-1"}, {"3-7", "6-7"}, {"4", ""}, {"7-0", ""}, {"-", ""}}) {
    int first = 0;
    int last = 0;
    std::string error;
    const bool found = ostinel_cli::MeasureRange(score, text, &first, &last, &error);
    EXPECT_EQ(found ? std::to_string(first) + "-" + std::to_string(last) : "", indexes) << text << ": " << error;
  }
}

TEST(MultiMeasureRests, AreCutWhereACueStandsAndStartedAgainAfterIt) {
  struct Case {
    int start;
    int count;
    std::set<int> cued;
    std::map<int, int> spans;  // measure -> multiple-rest it starts
  };
  const Case cases[] = {
      {1, 8, {4, 5, 6, 7, 8}, {{1, 3}}},    // the cue at the rest's end
      {1, 10, {5, 6}, {{1, 4}, {7, 4}}},    // a cue inside: the rest goes on after it
      {1, 8, {2, 3}, {{4, 5}}},             // one measure left before the cue is no multi-rest
      {3, 4, {1, 9}, {{3, 4}}},             // cues outside leave it alone
      {1, 3, {1, 2, 3}, {}},
  };
  for (const Case& c : cases) {
    pugi::xml_document document;
    pugi::xml_node part = document.append_child("part");
    ostinel_cli::PartLayout layout;
    for (int m = 1; m <= 12; ++m) {
      pugi::xml_node measure = part.append_child("measure");
      if (m == c.start) {
        pugi::xml_node rest = measure.append_child("attributes").append_child("measure-style").append_child("multiple-rest");
        rest.text().set(c.count);
        layout.multipleRests.emplace_back(m, rest);
      }
      measure.append_child("note");
      layout.measures.push_back(measure);
    }
    ostinel_cli::ShortenMultiRests(layout, c.cued);
    std::map<int, int> spans;
    for (int m = 1; m <= 12; ++m) {
      const pugi::xml_node rest = layout.measures[static_cast<size_t>(m - 1)].select_node(".//multiple-rest").node();
      if (rest) spans[m] = rest.text().as_int();
    }
    EXPECT_EQ(spans, c.spans) << "rest at " << c.start << " for " << c.count;
  }
}

TEST_F(CueNotation, RunningAgainFindsItsOwnCuesAndMarkers) {
  WriteText(dir.Path("duet.musicxml"), RawScore(UnderAFlute(Quarters("C5 D5 E5 F5"), 1)));
  const std::vector<std::string> add = {"--mode", "add", "--measures", "--threshold", "6", "--json", dir.Path("s.json")};
  auto cue = [&](const std::string& in, const std::string& written, std::vector<std::string> args) {
    args.insert(args.begin(), {in, "-o", written});
    const CommandRun result = RunOstinel(args, dir.Path("config"));
    EXPECT_EQ(result.status, 0) << result.err;
    return ReadJson(dir.Path("s.json"));
  };
  EXPECT_EQ(cue(dir.Path("duet.musicxml"), dir.Path("once.musicxml"), add)["totals"]["cuesWritten"], 1);
  EXPECT_EQ(cue(dir.Path("once.musicxml"), dir.Path("twice.musicxml"), add)["totals"]["cueNotes"], 0);
  std::vector<std::string> mark = add;
  mark[1] = "mark";
  EXPECT_EQ(cue(dir.Path("duet.musicxml"), dir.Path("marked.musicxml"), mark)["totals"]["markers"], 1);
  const Json again = cue(dir.Path("marked.musicxml"), dir.Path("marked2.musicxml"), mark);
  EXPECT_EQ(again["totals"]["marked"], 1) << "the location is found and counted again";
  EXPECT_EQ(again["totals"]["markers"], 0) << "but its marker is there already";
  mark[2] = "--seconds";
  EXPECT_EQ(cue(dir.Path("marked2.musicxml"), dir.Path("marked3.musicxml"), mark)["totals"]["markers"], 1)
      << "another text is another marker";
}

TEST_F(CueNotation, NamesInAnyScriptSurviveAndAreCutOnlyBetweenCharacters) {
  const std::string russian = "Флейтапикколоребемольдлябольшогооркестра";  // 40 letters of two bytes
  std::vector<RawPart> parts = UnderAFlute(Quarters("C5 D5 E5 F5"), 1);
  parts[0].name = russian;
  parts[1].name = "Flûte à bec";
  Cue(RawScore(parts));
  EXPECT_THAT(run.out, HasSubstr("Flûte à bec: rest in measures 1-8 (8 measures); proposed cue " + russian));
  const std::string name = out.select_node("/score-partwise/part[2]/measure[4]/direction[@id]//words").node().child_value();
  // Cue() read the output back through the command's reader, which refuses invalid UTF-8.
  EXPECT_EQ(name, russian.substr(0, 48)) << "the name's 49 bytes would split the 25th letter";
}

// A tempo takes effect where MusicXML 4.0 puts it: where its direction
// stands; at the direction's offset only when that says sound="yes"; at a
// sound's own offset, which overrides the direction's; and a sound's tempo,
// not a metronome mark beside it, is what plays.
TEST_F(CueNotation, ATempoChangeSoundsWhereTheStandardPutsIt) {
  const std::string metronome240 = "<direction-type><metronome><beat-unit>quarter</beat-unit><per-minute>240"
                                   "</per-minute></metronome></direction-type>";
  const std::string metronome120 = "<direction-type><metronome><beat-unit>quarter</beat-unit><per-minute>120"
                                   "</per-minute></metronome></direction-type>";
  const std::string allegro = "<direction-type><words>Allegro</words></direction-type>";
  struct Case {
    std::string change;  // what measure 5 starts with
    const char* marker;
  };
  for (const Case& c : {
           Case{"<direction>" + allegro + "<sound tempo=\"120\"/></direction>", "*** 24.0 seconds of rest ***"},
           Case{"<direction>" + allegro + "<offset>2</offset><sound tempo=\"120\"/></direction>", "*** 24.0 seconds"},
           Case{"<direction>" + allegro + "<offset sound=\"yes\">2</offset><sound tempo=\"120\"/></direction>",
                "*** 25.0 seconds"},
           Case{"<direction>" + allegro + "<sound tempo=\"120\"><offset>2</offset></sound></direction>", "*** 25.0 seconds"},
           Case{"<direction>" + allegro + "<offset sound=\"yes\">2</offset><sound tempo=\"120\"><offset>0</offset>"
                "</sound></direction>", "*** 24.0 seconds"},
           Case{"<direction>" + metronome240 + "<sound tempo=\"120\"/></direction>", "*** 24.0 seconds"},
           Case{"<direction>" + metronome120 + "<offset>2</offset></direction>", "*** 24.0 seconds"},
           Case{"<sound tempo=\"120\"><offset>2</offset></sound>", "*** 25.0 seconds"}}) {
    // Sixty quarters a minute, then 120 from measure 5 (or from its third beat).
    std::vector<RawPart> parts = UnderAFlute(Quarters("C5 D5 E5 F5"), 1);
    parts[0].measures[0] = "<direction><direction-type><words>Largo</words></direction-type><sound tempo=\"60\"/>"
                           "</direction>" + parts[0].measures[0];
    parts[0].measures[4] = c.change + parts[0].measures[4];
    WriteText(dir.Path("tempo.musicxml"), RawScore(parts));
    const CommandRun marked = RunOstinel({dir.Path("tempo.musicxml"), "-o", dir.Path("tempo-out.musicxml"), "--mode",
                                          "mark", "--seconds", "--threshold", "10"},
                                         dir.Path("config"));
    ASSERT_EQ(marked.status, 0) << marked.err;
    EXPECT_THAT(ReadText(dir.Path("tempo-out.musicxml")), HasSubstr(c.marker)) << c.change;
  }
}

}  // namespace
}  // namespace ostinel_test

// The cued score is the original plus right cues: every score the project
// has, cued in each mode at several thresholds, and small scores that each
// hold one thing a cue has got wrong, held note by note against the original.
#include <zip.h>

#include "cli_harness.h"
#include "score_checks.h"
#include "score_compare.h"

namespace ostinel_test {
namespace {

// Cues the score with the options and holds the result against it; the verdict.
Verdict Cue(const TempDir& dir, const std::string& score, std::vector<std::string> options, nlohmann::json* summary,
            const std::string& answers = "") {
  const std::string extension = score.substr(score.rfind('.'));
  const std::string output = dir.Path("out" + extension);
  options.insert(options.begin(), {score, "-o", output, "--with", "all", "--json", dir.Path("summary.json")});
  const CommandRun command = RunOstinel(options, dir.Path("config"), answers);
  EXPECT_EQ(command.status, 0) << command.err;
  *summary = ReadJson(dir.Path("summary.json"));
  Verdict verdict = CompareFiles(score, output, *summary);
  // What the comparer counts is what the command says it wrote.
  EXPECT_EQ(verdict.Added("cue note"), (*summary)["totals"]["cueNotes"].get<int>()) << verdict;
  EXPECT_EQ(verdict.Added("marker"), (*summary)["totals"]["markers"].get<int>()) << verdict;
  EXPECT_EQ(verdict.Added("cue name"), (*summary)["totals"]["cueNames"].get<int>()) << verdict;
  return verdict;
}

struct ScoreRun {
  std::string score;
  std::vector<std::string> options;
  std::string answers = "";  // to review's questions
};

void PrintTo(const ScoreRun& run, std::ostream* os) {
  *os << run.score.substr(run.score.rfind('/') + 1);
  for (const std::string& option : run.options) *os << " " << option;
}

class CuedMusic : public ::testing::TestWithParam<ScoreRun> {};

TEST_P(CuedMusic, IsTheOriginalPlusCuesThatSoundTheirSource) {
  TempDir dir;
  nlohmann::json summary;
  const Verdict verdict = Cue(dir, GetParam().score, GetParam().options, &summary, GetParam().answers);
  EXPECT_TRUE(verdict.findings.empty()) << verdict;
  std::cout << "[ verdict  ] " << verdict << "\n";
}

std::vector<ScoreRun> Runs() {
  std::vector<ScoreRun> runs;
  for (const std::string& score : AllScores()) {
    runs.push_back({score, {"--mode", "mark", "--measures", "--threshold", "8"}});
    runs.push_back({score, {"--mode", "add", "--measures", "--threshold", "3"}});  // the quartet rests 3 at most
    runs.push_back({score, {"--mode", "add", "--measures", "--threshold", "8", "--desired", "8"}});
    runs.push_back({score, {"--mode", "add", "--seconds", "--threshold", "20"}});
    runs.push_back({score, {"--mode", "add", "--measures", "--threshold", "999"}});  // nothing to cue
  }
  // Review, taking the cue from another staff at one location and skipping one.
  runs.push_back({SamplePath(), {"--mode", "review", "--measures", "--threshold", "10"},
                  [] {
                    std::string answers = "r 3 25-29\nc\ns\n";
                    for (int i = 0; i < 20; ++i) answers += "c\n";
                    return answers;
                  }()});
  return runs;
}

INSTANTIATE_TEST_SUITE_P(Scores, CuedMusic, ::testing::ValuesIn(Runs()));

// Small scores, each holding what cues once got wrong.
std::string Attributes(const std::string& clef = "<sign>G</sign><line>2</line>", int divisions = 2,
                       const std::string& more = "") {
  return "<divisions>" + std::to_string(divisions) +
         "</divisions><key><fifths>0</fifths></key><time><beats>4</beats><beat-type>4</beat-type></time><clef>" + clef +
         "</clef>" + more;
}

std::string Note(const std::string& pitch, int duration, const std::string& type, const std::string& inside = "",
                 const std::string& after = "") {
  std::string alter;
  if (pitch.size() > 2) alter = "<alter>" + pitch.substr(1, pitch.size() - 2) + "</alter>";
  return "<note><pitch><step>" + pitch.substr(0, 1) + "</step>" + alter + "<octave>" + pitch.substr(pitch.size() - 1) +
         "</octave></pitch><duration>" + std::to_string(duration) + "</duration>" + inside + "<voice>1</voice><type>" +
         type + "</type>" + after + "</note>";
}

const std::string kFourQuarters = Note("C5", 2, "quarter") + Note("E5", 2, "quarter") + Note("G5", 2, "quarter") +
                                  Note("C6", 2, "quarter");

// A player that rests in measures 1-8 of 12 under a source that plays `music`
// throughout; `changes` go into the player's measures by number.
std::vector<RawPart> Rests(const std::string& music, const std::string& playerAttributes = Attributes(),
                           const std::map<int, std::string>& changes = {}) {
  RawPart source{"Violin", Attributes(), {}, ""};
  RawPart player{"Cello", playerAttributes, {}, ""};
  for (int m = 1; m <= 12; ++m) {
    source.measures.push_back(music);
    const auto change = changes.find(m);
    player.measures.push_back((change != changes.end() ? change->second : "") +
                              (m <= 8 ? MeasureRest(4, 2) : Quarters("C3 D3 E3 F3", 2)));
  }
  return {source, player};
}

std::string Transpose(int diatonic, int chromatic) {
  return "<transpose><diatonic>" + std::to_string(diatonic) + "</diatonic><chromatic>" + std::to_string(chromatic) +
         "</chromatic></transpose>";
}

const std::string kTriplet = "<time-modification><actual-notes>3</actual-notes><normal-notes>2</normal-notes>";

struct Fault {
  std::string name;
  std::string score;
  std::vector<std::string> options;
  std::string added;  // what the cue must add besides notes (a kind of the verdict)
};

void PrintTo(const Fault& fault, std::ostream* os) { *os << fault.name; }

std::vector<Fault> Faults() {
  const std::vector<std::string> fromMeasureOne = {"--mode", "add", "--measures", "--threshold", "4", "--desired", "8"};
  const std::vector<std::string> fromMeasureFour = {"--mode", "add", "--measures", "--threshold", "4"};
  std::vector<Fault> faults;
  const std::string bass = "<sign>F</sign><line>4</line>";
  faults.push_back({"the player's clef in the cue's first measure stays",
                    RawScore(Rests(kFourQuarters, Attributes(bass))), fromMeasureOne, "cue clef"});
  faults.push_back({"a clef change inside the rest stays, and is the one given back",
                    RawScore(Rests(kFourQuarters, Attributes(bass),
                                   {{6, "<attributes><clef><sign>C</sign><line>4</line></clef></attributes>"}})),
                    fromMeasureFour, "clef restored"});
  {
    // B-flat clarinet to A in the rest; the source, in E-flat, goes to B-flat.
    std::vector<RawPart> parts = Rests(kFourQuarters, Attributes("<sign>G</sign><line>2</line>", 2, Transpose(-1, -2)),
                                       {{6, "<attributes>" + Transpose(-2, -3) + "</attributes>"}});
    parts[0].attributes = Attributes("<sign>G</sign><line>2</line>", 2, Transpose(2, 3));
    parts[0].measures[6] = "<attributes>" + Transpose(-1, -2) + "</attributes>" + kFourQuarters;
    faults.push_back({"transpositions that change sound through the cue", RawScore(parts), fromMeasureFour, ""});
  }
  {
    std::vector<RawPart> parts = Rests(kFourQuarters);
    for (RawPart& part : parts) {
      part.measures[7] = part.name == "Violin" ? Note("C5", 2, "quarter") + Note("D5", 4, "half")
                                               : "<note><rest/><duration>6</duration><voice>1</voice></note>";
    }
    faults.push_back({"a short measure is filled as far as it goes", RawScore(parts), fromMeasureFour, ""});
    // Down to the last unit: the source stops an eighth short.
    parts = Rests(kFourQuarters);
    parts[0].measures[7] = Note("C5", 2, "quarter") + Note("E5", 2, "quarter") + Note("G5", 3, "quarter", "", "<dot/>");
    faults.push_back({"a measure the source leaves one unit short is filled", RawScore(parts), fromMeasureFour, "cue time"});
  }
  {
    // Triplet eighths at 4 divisions to the quarter, which the writer rounded
    // to 1, 2 and 1: the cue's exact durations need finer divisions.
    const std::string triplet = kTriplet + "</time-modification>";
    std::vector<RawPart> parts = Rests(
        Note("C5", 1, "eighth", "", triplet + "<notations><tuplet type=\"start\"/></notations>") +
        Note("D5", 2, "eighth", "", triplet) +
        Note("E5", 1, "eighth", "", triplet + "<notations><tuplet type=\"stop\"/></notations>") +
        Note("F5", 4, "quarter") + Note("G5", 8, "half"));
    parts[0].attributes = Attributes("<sign>G</sign><line>2</line>", 4);
    faults.push_back({"rounded triplets come exact, in raised divisions", RawScore(parts), fromMeasureFour, ""});
    // A measure the source leaves half empty: its cue voice goes on (forward) to
    // the player's measure, measured in the raised divisions too.
    parts[0].measures[7] = parts[0].measures[7].substr(0, parts[0].measures[7].find("<note><pitch><step>G"));
    faults.push_back({"a measure the source leaves short is filled, in raised divisions", RawScore(parts),
                      fromMeasureFour, "cue time"});
  }
  {
    // Quarter triplets with an eighth triplet inside, in MusicXML's (cumulative)
    // time modification and in that of writers giving the inner bracket's alone.
    for (const bool cumulative : {true, false}) {
      const std::string inner = cumulative ? "<time-modification><actual-notes>9</actual-notes><normal-notes>4</normal-notes>"
                                             "</time-modification>"
                                           : kTriplet + "</time-modification>";
      const std::string outer = kTriplet + "</time-modification>";
      const std::string music =
          Note("C5", 12, "quarter", "", outer + "<notations><tuplet type=\"start\" number=\"1\"/></notations>") +
          Note("D5", 4, "eighth", "", inner + "<notations><tuplet type=\"start\" number=\"2\"/></notations>") +
          Note("E5", 4, "eighth", "", inner) +
          Note("F5", 4, "eighth", "", inner + "<notations><tuplet type=\"stop\" number=\"2\"/></notations>") +
          Note("G5", 12, "quarter", "", outer + "<notations><tuplet type=\"stop\" number=\"1\"/></notations>") +
          Note("C6", 36, "half");
      std::vector<RawPart> parts = Rests(music);
      parts[0].attributes = Attributes("<sign>G</sign><line>2</line>", 18);
      faults.push_back({std::string("nested tuplets, time modification ") + (cumulative ? "cumulative" : "inner"),
                        RawScore(parts), fromMeasureFour, ""});
    }
  }
  {
    const std::string lyrics = "<lyric number=\"1\" name=\"verse\"><syllabic>single</syllabic><text>la</text></lyric>"
                               "<lyric number=\"2\" name=\"verse\"><syllabic>single</syllabic><text>lo</text></lyric>"
                               "<lyric number=\"chorus\"><syllabic>single</syllabic><text>li</text></lyric>";
    faults.push_back({"lyrics keep their lines", RawScore(Rests(Note("C5", 8, "whole", "", lyrics))), fromMeasureFour, ""});
  }
  faults.push_back({"microtones keep their fraction",
                    RawScore(Rests(Note("C0.55", 2, "quarter") + Note("D-1.55", 2, "quarter") + Note("E0.255", 4, "half"))),
                    fromMeasureFour, ""});
  {
    // A piano chord written across its staves: each staff holds its own notes.
    RawPart piano{"Piano", Attributes("<sign>G</sign><line>2</line>", 2, "<staves>2</staves>") +
                               "<clef number=\"2\"><sign>F</sign><line>4</line></clef>", {}, ""};
    RawPart player{"Oboe", Attributes(), {}, ""};
    const std::string chord = "<note><pitch><step>C</step><octave>5</octave></pitch><duration>8</duration><voice>1</voice>"
                              "<type>whole</type><staff>1</staff></note><note><chord/><pitch><step>E</step><octave>3</octave>"
                              "</pitch><duration>8</duration><voice>1</voice><type>whole</type><staff>2</staff></note>"
                              "<note><chord/><pitch><step>G</step><octave>5</octave></pitch><duration>8</duration>"
                              "<voice>1</voice><type>whole</type><staff>1</staff></note>";
    for (int m = 1; m <= 12; ++m) {
      piano.measures.push_back(chord);
      player.measures.push_back(m <= 8 ? MeasureRest(4, 2) : Quarters("C5 D5 E5 F5", 2));
    }
    faults.push_back({"a chord across staves gives each staff its own notes", RawScore({piano, player}), fromMeasureFour, ""});
  }
  faults.push_back({"grace notes come with the cue",
                    RawScore(Rests("<note><grace slash=\"yes\"/><pitch><step>B</step><octave>4</octave></pitch>"
                                   "<voice>1</voice><type>eighth</type></note>" +
                                   kFourQuarters)),
                    fromMeasureFour, ""});
  {
    std::vector<RawPart> parts = Rests("");
    parts[0] = RawPart{"Snare Drum", "<divisions>2</divisions><time><beats>4</beats><beat-type>4</beat-type></time>"
                                     "<clef><sign>percussion</sign></clef>", {}, ""};
    for (int m = 1; m <= 12; ++m) {
      parts[0].measures.push_back(
          "<note><unpitched><display-step>C</display-step><display-octave>5</display-octave></unpitched><duration>4"
          "</duration><voice>1</voice><type>half</type><notehead>x</notehead></note><note><unpitched><display-step>C"
          "</display-step><display-octave>5</display-octave></unpitched><duration>4</duration><voice>1</voice><type>half"
          "</type></note>");
    }
    faults.push_back({"unpitched notes stay unpitched, with their noteheads", RawScore(parts), fromMeasureFour, ""});
  }
  return faults;
}

class RightMusic : public ::testing::TestWithParam<Fault> {};

TEST_P(RightMusic, TheCueSoundsItsSourceAndTheRestStaysAsItWas) {
  const Fault& fault = GetParam();
  TempDir dir;
  WriteText(dir.Path("in.musicxml"), fault.score);
  nlohmann::json summary;
  const Verdict verdict = Cue(dir, dir.Path("in.musicxml"), fault.options, &summary);
  EXPECT_TRUE(verdict.findings.empty()) << verdict;
  EXPECT_GT(verdict.Added("cue measure matching its source"), 0) << verdict;
  if (!fault.added.empty()) {
    EXPECT_GT(verdict.Added(fault.added), 0) << verdict;
  }
}

INSTANTIATE_TEST_SUITE_P(Faults, RightMusic, ::testing::ValuesIn(Faults()), [](const auto& param) {
  std::string name;
  for (const char c : param.param.name) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
});

// An .mxl keeps every entry of its archive; only the score changes.
void WriteArchive(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  ASSERT_NE(archive, nullptr);
  for (const auto& [name, bytes] : entries) {
    if (name.back() == '/') {
      zip_dir_add(archive, name.c_str(), ZIP_FL_ENC_RAW);
      continue;
    }
    zip_source_t* source = zip_source_buffer(archive, bytes.data(), bytes.size(), 0);
    zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_RAW);
  }
  ASSERT_EQ(zip_close(archive), 0);
}

TEST(CompressedScores, KeepEveryEntryOfTheirArchiveAndRefuseNamesThatAreNotSafe) {
  TempDir dir;
  const std::string score = RawScore(Rests(kFourQuarters));
  const std::string container =
      "<?xml version=\"1.0\"?><container><rootfiles><rootfile full-path=\"music/score.musicxml\"/>"
      "<rootfile full-path=\"score.pdf\" media-type=\"application/pdf\"/></rootfiles></container>";
  const std::vector<std::pair<std::string, std::string>> entries = {
      {"mimetype", "application/vnd.recordare.musicxml"}, {"META-INF/", ""}, {"META-INF/container.xml", container},
      {"music/score.musicxml", score}, {"score.pdf", std::string("%PDF-1.4\0\x01\xff", 11)},
      {"parts/oboe.musicxml", score}};
  WriteArchive(dir.Path("in.mxl"), entries);
  nlohmann::json summary;
  const Verdict verdict = Cue(dir, dir.Path("in.mxl"), {"--mode", "add", "--measures", "--threshold", "4"}, &summary);
  EXPECT_TRUE(verdict.findings.empty()) << verdict;
  EXPECT_GT(verdict.Added("cue note"), 0) << verdict;

  // The last: an entry whose name is there twice (libzip writes no such
  // archive, so a name of the same length is put in its place in the bytes).
  for (const std::string name : {"../escape.txt", "/etc/passwd", "a/../../b", "bell\x07.txt", "parts/oboe.musicxmX"}) {
    std::vector<std::pair<std::string, std::string>> unsafe = entries;
    unsafe.emplace_back(name, "x");
    WriteArchive(dir.Path("unsafe.mxl"), unsafe);
    std::string bytes = ReadText(dir.Path("unsafe.mxl"));
    for (size_t at; (at = bytes.find("parts/oboe.musicxmX")) != std::string::npos;) {
      bytes.replace(at, name.size(), "parts/oboe.musicxml");
    }
    WriteText(dir.Path("unsafe.mxl"), bytes);
    const CommandRun run = RunOstinel({dir.Path("unsafe.mxl"), "-o", dir.Path("unsafe.cued.mxl")}, dir.Path("config"));
    EXPECT_EQ(run.status, 1) << name;
    EXPECT_THAT(run.err, HasSubstr("the archive's entry \"")) << name;
    EXPECT_THAT(run.err, HasSubstr("nothing was written")) << name;
    EXPECT_FALSE(Exists(dir.Path("unsafe.cued.mxl"))) << name;
  }
}

}  // namespace
}  // namespace ostinel_test

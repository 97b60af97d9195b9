#include "musicxml_score.h"

#include <random>
#include <sstream>

namespace ostinel_bench {

std::string GenerateMusicXml(int parts, int measures) {
  std::mt19937 random(60);
  auto between = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
  std::ostringstream xml;
  xml << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<score-partwise version=\"4.0\"><part-list>";
  for (int p = 1; p <= parts; ++p) {
    xml << "<score-part id=\"P" << p << "\"><part-name>Part " << p << "</part-name><part-abbreviation>P" << p
        << "</part-abbreviation></score-part>";
  }
  xml << "</part-list>";
  const char* steps = "CDEFGAB";
  for (int p = 1; p <= parts; ++p) {
    xml << "<part id=\"P" << p << "\">";
    int m = 1;
    bool playing = between(0, 1) == 0;
    int left = between(4, 30);
    for (; m <= measures; ++m, --left) {
      if (left == 0) {
        playing = !playing;
        left = playing ? between(6, 40) : between(4, 60);
      }
      xml << "<measure number=\"" << m << "\">";
      if (m == 1) {
        xml << "<attributes><divisions>2</divisions><key><fifths>0</fifths></key><time><beats>4</beats>"
               "<beat-type>4</beat-type></time><clef><sign>G</sign><line>2</line></clef></attributes>";
      }
      if (p == 1 && m % 60 == 1) {
        xml << "<direction placement=\"above\"><direction-type><metronome><beat-unit>quarter</beat-unit>"
               "<per-minute>"
            << between(60, 140) << "</per-minute></metronome></direction-type></direction>";
      }
      if (!playing) {
        xml << "<note><rest measure=\"yes\"/><duration>8</duration><voice>1</voice></note>";
      } else {
        if (left % 8 == 0) {
          xml << "<direction placement=\"below\"><direction-type><dynamics><mf/></dynamics></direction-type>"
                 "</direction>";
        }
        for (int beat = 0; beat < 4; ++beat) {
          const int pair = between(0, 2) == 0 ? 2 : 1;
          for (int n = 0; n < pair; ++n) {
            xml << "<note><pitch><step>" << steps[between(0, 6)] << "</step><octave>" << between(4, 5)
                << "</octave></pitch><duration>" << 2 / pair << "</duration><voice>1</voice><type>"
                << (pair == 2 ? "eighth" : "quarter") << "</type>";
            if (pair == 2) {
              xml << "<notations><slur type=\"" << (n == 0 ? "start" : "stop") << "\" number=\"1\"/></notations>";
            } else if (beat == 0) {
              xml << "<notations><articulations><staccato/></articulations></notations>";
            }
            xml << "</note>";
          }
        }
      }
      xml << "</measure>";
    }
    xml << "</part>";
  }
  xml << "</score-partwise>\n";
  return xml.str();
}

}  // namespace ostinel_bench

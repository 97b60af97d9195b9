// Writes the generated MusicXML score to standard output:
// make_score PARTS MEASURES > score.musicxml
#include <cstdio>
#include <cstdlib>

#include "musicxml_score.h"

int main(int argc, char** argv) {
  if (argc != 3 || std::atoi(argv[1]) < 1 || std::atoi(argv[2]) < 1) {
    std::fprintf(stderr, "usage: make_score PARTS MEASURES > score.musicxml\n");
    return 2;
  }
  const std::string xml = ostinel_bench::GenerateMusicXml(std::atoi(argv[1]), std::atoi(argv[2]));
  return std::fwrite(xml.data(), 1, xml.size(), stdout) == xml.size() ? 0 : 1;
}

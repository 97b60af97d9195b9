#include "score_file.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <utility>
#include <vector>

namespace ostinel_cli {

namespace {

constexpr const char* kMimeType = "application/vnd.recordare.musicxml";

bool EndsWith(const std::string& text, const std::string& end) {
  if (text.size() < end.size()) return false;
  return std::equal(end.rbegin(), end.rend(), text.rbegin(),
                    [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

bool ReadFile(const std::string& path, std::vector<char>* bytes, std::string* error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    *error = path + ": cannot open: " + std::strerror(errno);
    return false;
  }
  char buffer[65536];
  size_t read = 0;
  while ((read = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes->insert(bytes->end(), buffer, buffer + read);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) *error = path + ": cannot read: " + std::strerror(errno);
  return !failed;
}

// Line and column of a byte offset.
std::string Where(const std::vector<char>& bytes, ptrdiff_t offset) {
  int line = 1;
  int column = 1;
  for (ptrdiff_t i = 0; i < offset && i < static_cast<ptrdiff_t>(bytes.size()); ++i) {
    if (bytes[static_cast<size_t>(i)] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  return std::to_string(line) + ":" + std::to_string(column);
}

bool Parse(const std::vector<char>& bytes, const std::string& name, pugi::xml_document* document, std::string* error) {
  const unsigned options = pugi::parse_default | pugi::parse_declaration | pugi::parse_doctype | pugi::parse_comments |
                           pugi::parse_pi;
  const pugi::xml_parse_result result = document->load_buffer(bytes.data(), bytes.size(), options);
  if (!result) {
    *error = name + ":" + Where(bytes, result.offset) + ": not well-formed XML: " + result.description();
    return false;
  }
  const pugi::xml_node root = document->document_element();
  const std::string element = root.name();
  if (element == "score-timewise") {
    *error = name + ": timewise MusicXML is not supported; convert the score to partwise first";
    return false;
  }
  if (element != "score-partwise") {
    *error = name + ": not a MusicXML score (its root element is <" + element + ">)";
    return false;
  }
  return true;
}

struct ZipArchive {
  zip_t* archive = nullptr;
  ~ZipArchive() {
    if (archive != nullptr) zip_discard(archive);
  }
};

// The largest file of an archive that is read: ten times the largest score
// seen in practice. An entry's stated size is not trusted, since a damaged or
// hostile archive can state any size.
constexpr size_t kMaxEntrySize = size_t{256} << 20;

enum class EntryRead { Read, Missing, TooLarge };

EntryRead ReadEntry(zip_t* archive, const std::string& name, std::vector<char>* bytes) {
  zip_file_t* file = zip_fopen(archive, name.c_str(), 0);
  if (file == nullptr) return EntryRead::Missing;
  char buffer[65536];
  zip_int64_t read = 0;
  EntryRead result = EntryRead::Read;
  while ((read = zip_fread(file, buffer, sizeof buffer)) > 0) {
    if (bytes->size() + static_cast<size_t>(read) > kMaxEntrySize) {
      result = EntryRead::TooLarge;
      break;
    }
    bytes->insert(bytes->end(), buffer, buffer + read);
  }
  zip_fclose(file);
  if (read < 0) return EntryRead::Missing;
  return result;
}

bool ReadCompressed(const std::string& path, std::vector<char>& bytes, ScoreFile* score, std::string* error) {
  zip_error_t zipError;
  zip_error_init(&zipError);
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &zipError);
  ZipArchive zip;
  if (source != nullptr) zip.archive = zip_open_from_source(source, ZIP_RDONLY, &zipError);
  if (zip.archive == nullptr) {
    if (source != nullptr) zip_source_free(source);
    *error = path + ": not a readable .mxl archive: " + zip_error_strerror(&zipError);
    zip_error_fini(&zipError);
    return false;
  }
  zip_error_fini(&zipError);
  std::vector<char> container;
  const EntryRead containerRead = ReadEntry(zip.archive, "META-INF/container.xml", &container);
  if (containerRead != EntryRead::Read) {
    *error = path + (containerRead == EntryRead::TooLarge ? ": META-INF/container.xml is too large"
                                                          : ": the .mxl archive has no META-INF/container.xml");
    return false;
  }
  pugi::xml_document containerDocument;
  if (!containerDocument.load_buffer(container.data(), container.size())) {
    *error = path + ": META-INF/container.xml is not well-formed XML";
    return false;
  }
  const std::string inner =
      containerDocument.child("container").child("rootfiles").child("rootfile").attribute("full-path").value();
  if (inner.empty()) {
    *error = path + ": META-INF/container.xml names no score";
    return false;
  }
  std::vector<char> xml;
  const EntryRead scoreRead = ReadEntry(zip.archive, inner, &xml);
  if (scoreRead == EntryRead::TooLarge) {
    *error = path + ": " + inner + " is larger than 256 MB, more than any score";
    return false;
  }
  if (scoreRead != EntryRead::Read) {
    *error = path + ": the .mxl archive lacks " + inner + ", which its container names";
    return false;
  }
  score->compressed = true;
  score->innerPath = inner;
  return Parse(xml, path + "!" + inner, &score->document, error);
}

std::string Serialise(ScoreFile& score) {
  // The text is written in UTF-8, whatever the input's encoding was.
  for (pugi::xml_node node = score.document.first_child(); node; node = node.next_sibling()) {
    if (node.type() == pugi::node_declaration && node.attribute("encoding")) node.attribute("encoding") = "UTF-8";
  }
  std::ostringstream out;
  score.document.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
  return out.str();
}

std::string ContainerXml(const std::string& inner) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<container>\n  <rootfiles>\n    <rootfile full-path=\"" +
         inner + "\" media-type=\"application/vnd.recordare.musicxml+xml\"/>\n  </rootfiles>\n</container>\n";
}

bool WriteCompressed(const std::string& temporary, const std::string& inner, const std::string& xml,
                     std::string* error) {
  int zipError = 0;
  zip_t* archive = zip_open(temporary.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &zipError);
  if (archive == nullptr) {
    *error = temporary + ": cannot create the archive";
    return false;
  }
  // libzip reads the buffers only at zip_close: they must live until then.
  const std::string mimetype = kMimeType;
  const std::string container = ContainerXml(inner);
  auto add = [&](const std::string& name, const std::string& content, bool store) {
    zip_source_t* source = zip_source_buffer(archive, content.data(), content.size(), 0);
    if (source == nullptr) return false;
    const zip_int64_t index = zip_file_add(archive, name.c_str(), source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8);
    if (index < 0) {
      zip_source_free(source);
      return false;
    }
    if (store) zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
    return true;
  };
  const bool added = add("mimetype", mimetype, true) && add("META-INF/container.xml", container, false) &&
                     add(inner, xml, false);
  if (!added || zip_close(archive) != 0) {
    *error = temporary + ": cannot write the archive";
    zip_discard(archive);  // a failed close leaves the archive open
    return false;
  }
  return true;
}

}  // namespace

bool ReadScore(const std::string& path, ScoreFile* score, std::string* error) {
  std::vector<char> bytes;
  if (!ReadFile(path, &bytes, error)) return false;
  return ReadScoreBytes(std::move(bytes), path, score, error);
}

bool ReadScoreBytes(std::vector<char> bytes, const std::string& path, ScoreFile* score, std::string* error) {
  if (bytes.empty()) {
    *error = path + ": the file is empty";
    return false;
  }
  const bool zipped = bytes.size() >= 4 && std::memcmp(bytes.data(), "PK\x03\x04", 4) == 0;
  if (zipped) return ReadCompressed(path, bytes, score, error);
  if (EndsWith(path, ".mxl")) {
    *error = path + ": not a readable .mxl archive (it is no zip file)";
    return false;
  }
  return Parse(bytes, path, &score->document, error);
}

bool WriteScore(const std::string& path, ScoreFile& score, std::string* error) {
  const size_t slash = path.find_last_of('/');
  const std::string directory = slash == std::string::npos ? "." : path.substr(0, slash);
  std::string pattern = directory + "/.ostinel-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int descriptor = mkstemp(name.data());
  if (descriptor < 0) {
    *error = path + ": cannot write in " + directory + ": " + std::strerror(errno);
    return false;
  }
  const std::string temporary = name.data();
  const std::string xml = Serialise(score);
  bool written;
  if (EndsWith(path, ".mxl")) {
    close(descriptor);
    std::string inner = score.innerPath;
    if (inner.empty()) {
      const std::string base = path.substr(slash == std::string::npos ? 0 : slash + 1);
      inner = base.substr(0, base.size() - 4) + ".musicxml";
    }
    written = WriteCompressed(temporary, inner, xml, error);
  } else {
    const ssize_t count = write(descriptor, xml.data(), xml.size());
    written = count == static_cast<ssize_t>(xml.size()) && fsync(descriptor) == 0;
    written = close(descriptor) == 0 && written;
    if (!written) *error = path + ": cannot write: " + std::strerror(errno);
  }
  if (written) {
    // The permissions a new file of the user's would have, not mkstemp's private ones.
    const mode_t mask = umask(0);
    umask(mask);
    chmod(temporary.c_str(), 0666 & ~mask);
  }
  if (written && std::rename(temporary.c_str(), path.c_str()) != 0) {
    *error = path + ": cannot write: " + std::strerror(errno);
    written = false;
  }
  if (!written) std::remove(temporary.c_str());
  return written;
}

std::string DefaultOutputPath(const std::string& input) {
  for (const char* extension : {".musicxml", ".xml", ".mxl"}) {
    if (EndsWith(input, extension)) {
      return input.substr(0, input.size() - std::strlen(extension)) + ".cued" + extension;
    }
  }
  return input + ".cued.musicxml";
}

}  // namespace ostinel_cli

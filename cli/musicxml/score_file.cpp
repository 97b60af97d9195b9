#include "score_file.h"

#include <sys/stat.h>
#include <unistd.h>
#include <fcntl.h>
#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <sstream>
#include <string_view>
#include <utility>
#include <vector>

#include "stop_request.h"
#include "xml_text.h"

namespace ostinel_cli {

namespace {

constexpr const char* kMimeType = "application/vnd.recordare.musicxml";

bool EndsWith(const std::string& text, const std::string& end) {
  if (text.size() < end.size()) return false;
  return std::equal(end.rbegin(), end.rend(), text.rbegin(),
                    [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

std::string Megabytes(size_t bytes) { return std::to_string(bytes >> 20) + " MB"; }

// A file's bytes in a buffer from pugixml's allocator: a document parsed in
// place takes the buffer over, so that the text is not held twice (for a
// large score that costs as much as the parse itself).
class ParseBuffer {
 public:
  ParseBuffer() = default;
  ParseBuffer(const ParseBuffer&) = delete;
  ParseBuffer& operator=(const ParseBuffer&) = delete;
  ~ParseBuffer() {
    if (m_data != nullptr) pugi::get_memory_deallocation_function()(m_data);
  }

  char* data() const { return m_data; }
  size_t size() const { return m_size; }
  std::string_view View() const { return {m_data, m_size}; }
  // Room for capacity bytes, the filled ones kept; false when there is no memory for it.
  bool Reserve(size_t capacity) {
    if (capacity <= m_capacity) return true;
    auto* grown = static_cast<char*>(pugi::get_memory_allocation_function()(capacity));
    if (grown == nullptr) return false;
    if (m_size > 0) std::memcpy(grown, m_data, m_size);
    if (m_data != nullptr) pugi::get_memory_deallocation_function()(m_data);
    m_data = grown;
    m_capacity = capacity;
    return true;
  }
  // Within the capacity.
  void Resize(size_t size) { m_size = size; }
  char* Release() {
    char* data = m_data;
    m_data = nullptr;
    m_size = m_capacity = 0;
    return data;
  }

 private:
  char* m_data = nullptr;
  size_t m_size = 0;
  size_t m_capacity = 0;
};

// Reads a whole file of at most kMaxScoreBytes: a larger one is refused
// before it is read (or, when it tells no size, as soon as it is larger).
// regular says whether it is a file that can be read again (not a pipe).
bool ReadFile(const std::string& path, ParseBuffer* bytes, std::string* error, bool* regular = nullptr) {
  const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) {
    *error = path + ": cannot open: " + std::strerror(errno);
    return false;
  }
  struct stat status {};
  if (fstat(descriptor, &status) == 0 && S_ISDIR(status.st_mode)) {
    close(descriptor);
    *error = path + ": is a directory, not a score";
    return false;
  }
  if (fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) &&
      static_cast<uint64_t>(status.st_size) > kMaxScoreBytes) {
    close(descriptor);
    *error = path + ": is " + Megabytes(static_cast<size_t>(status.st_size)) + ", larger than the " +
             Megabytes(kMaxScoreBytes) + " of any score this command reads";
    return false;
  }
  if (regular != nullptr) *regular = S_ISREG(status.st_mode);
  // Read straight into the buffer, sized by what the file says it holds
  // (plus a byte, so that reaching its end needs no second allocation).
  size_t capacity = S_ISREG(status.st_mode) ? static_cast<size_t>(status.st_size) + 1 : size_t{1} << 16;
  size_t filled = 0;
  int failure = 0;
  for (;;) {
    if (filled == capacity) capacity = std::min(capacity * 2, kMaxScoreBytes + 1);
    if (!bytes->Reserve(capacity)) {
      close(descriptor);
      *error = path + ": cannot read: there is no memory for its " + Megabytes(capacity);
      return false;
    }
    const ssize_t read = ::read(descriptor, bytes->data() + filled, capacity - filled);
    if (read < 0 && errno == EINTR && StopSignal() == 0) continue;
    if (read < 0) failure = errno;
    if (read <= 0) break;
    filled += static_cast<size_t>(read);
    if (filled > kMaxScoreBytes) {
      close(descriptor);
      *error = path + ": is larger than the " + Megabytes(kMaxScoreBytes) + " of any score this command reads";
      return false;
    }
  }
  bytes->Resize(filled);
  close(descriptor);
  if (failure != 0) *error = path + ": cannot read: " + std::strerror(failure);
  return failure == 0;
}

// Line and column of a byte offset.
std::string Where(std::string_view bytes, ptrdiff_t offset) {
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

// Gives the text as read once more; false when it cannot.
using ReadAgain = std::function<bool(ParseBuffer*)>;

// Parses a score's text. Text held in a ParseBuffer (own) is parsed in place
// and handed to the document; as the parse writes over it, the place of a
// fault is found in the text read again.
bool Parse(std::string_view bytes, ParseBuffer* own, const std::string& name, pugi::xml_document* document,
           std::string* error, const ReadAgain& again = nullptr) {
  pugi::xml_encoding encoding = pugi::encoding_utf8;
  if (!DetectEncoding(bytes, &encoding, error)) {
    *error = name + ": " + *error;
    return false;
  }
  // A fault in the characters is reported before any other.
  std::string characterError;
  if (!CheckCharacters(bytes, encoding, &characterError)) {
    *error = name + ": " + characterError;
    return false;
  }
  // The references are expanded afterwards, where the document's own
  // entities are known; without an '&' in the text there is none. (Looked
  // for now: a parse in place may convert the text and free the bytes.)
  const bool references = std::memchr(bytes.data(), '&', bytes.size()) != nullptr;
  const unsigned options = (pugi::parse_default & ~pugi::parse_escapes) | pugi::parse_declaration |
                           pugi::parse_doctype | pugi::parse_comments | pugi::parse_pi;
  const pugi::xml_parse_result result =
      own != nullptr ? document->load_buffer_inplace_own(own->Release(), bytes.size(), options, encoding)
                     : document->load_buffer(bytes.data(), bytes.size(), options, encoding);
  if (!result) {
    // The bytes parsed in place are the document's now, written over or
    // freed: the place is found in the text read again, or not named.
    ParseBuffer original;
    if (own == nullptr) {
      *error = name + ":" + Where(bytes, result.offset) + ": not well-formed XML: " + result.description();
    } else if (again && again(&original)) {
      *error = name + ":" + Where(original.View(), result.offset) + ": not well-formed XML: " + result.description();
    } else {
      *error = name + ": not well-formed XML: " + std::string(result.description());
    }
    return false;
  }
  if (references && !ExpandReferences(*document, error)) {
    *error = name + ": " + *error;
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
  // Opens the archive held in bytes (which must outlive it); false with
  // libzip's reason.
  bool Open(const std::vector<char>& bytes, std::string* why) {
    zip_error_t zipError;
    zip_error_init(&zipError);
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &zipError);
    if (source != nullptr) archive = zip_open_from_source(source, ZIP_RDONLY, &zipError);
    if (archive == nullptr) {
      if (source != nullptr) zip_source_free(source);
      *why = zip_error_strerror(&zipError);
    }
    zip_error_fini(&zipError);
    return archive != nullptr;
  }
};

// Reads a file of the archive. Its stated size is not trusted, since a
// damaged or hostile archive can state any size: reading stops past
// kMaxScoreBytes. False with a message saying what went wrong.
bool ReadEntry(zip_t* archive, const std::string& name, std::vector<char>* bytes, std::string* error) {
  zip_file_t* file = zip_fopen(archive, name.c_str(), 0);
  if (file == nullptr) {
    zip_error_t* problem = zip_get_error(archive);
    *error = zip_error_code_zip(problem) == ZIP_ER_NOENT ? "the archive has no " + name
                                                         : name + ": " + zip_error_strerror(problem);
    return false;
  }
  char buffer[65536];
  zip_int64_t read = 0;
  while ((read = zip_fread(file, buffer, sizeof buffer)) > 0) {
    if (bytes->size() + static_cast<size_t>(read) > kMaxScoreBytes) {
      zip_fclose(file);
      *error = name + " is larger than the " + Megabytes(kMaxScoreBytes) + " of any score this command reads";
      return false;
    }
    bytes->insert(bytes->end(), buffer, buffer + read);
  }
  if (read < 0) *error = name + " is damaged: " + zip_file_strerror(file);
  zip_fclose(file);
  return read == 0;
}

// An entry name that would write outside the folder it is unpacked into,
// or that a terminal or a file system would take for something else.
std::string UnsafeEntry(zip_t* archive) {
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  std::set<std::string> names;
  for (zip_int64_t i = 0; i < count; ++i) {
    const char* raw = zip_get_name(archive, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
    if (raw == nullptr) return "an entry without a name";
    const std::string name = raw;
    std::string shown;
    bool control = false;
    for (const char c : name) {
      const auto byte = static_cast<unsigned char>(c);
      control = control || byte < 0x20 || byte == 0x7F;
      shown += byte < 0x20 || byte == 0x7F ? '?' : c;
    }
    const std::string padded = "/" + name + "/";
    const char* why = nullptr;
    if (control) why = "holds control characters";
    else if (name.empty()) why = "is empty";
    // A reader finds one entry of a name; the others would be lost unseen.
    else if (!names.insert(name).second) why = "is there twice";
    else if (name[0] == '/' || name[0] == '\\' || (name.size() > 1 && name[1] == ':')) why = "is absolute";
    else if (padded.find("/../") != std::string::npos || padded.find("\\..") != std::string::npos ||
             padded.find("..\\") != std::string::npos) {
      why = "climbs out of its folder";
    }
    if (why != nullptr) return "the archive's entry \"" + shown + "\" " + why;
  }
  return {};
}

bool ReadCompressed(const std::string& path, std::vector<char>& bytes, ScoreFile* score, std::string* error) {
  ZipArchive zip;
  std::string why;
  if (!zip.Open(bytes, &why)) {
    *error = path + ": not a readable .mxl archive: " + why;
    return false;
  }
  std::vector<char> container;
  if (!ReadEntry(zip.archive, "META-INF/container.xml", &container, error)) {
    *error = path + ": " + *error;
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
  if (!ReadEntry(zip.archive, inner, &xml, error)) {
    *error = path + ": " + *error + (error->find("has no") != std::string::npos ? ", which its container names" : "");
    return false;
  }
  score->compressed = true;
  score->innerPath = inner;
  score->unsafeEntry = UnsafeEntry(zip.archive);
  if (!Parse({xml.data(), xml.size()}, nullptr, path + "!" + inner, &score->document, error)) return false;
  score->archive = std::move(bytes);
  return true;
}

class SinkWriter final : public pugi::xml_writer {
 public:
  explicit SinkWriter(ByteSink& sink) : m_sink(sink) {}
  void write(const void* data, size_t size) override { m_sink.Put(static_cast<const char*>(data), size); }

 private:
  ByteSink& m_sink;
};

class StringSink final : public ByteSink {
 public:
  void Put(const char* data, size_t size) override { text.append(data, size); }
  std::string text;
};

void Serialise(ScoreFile& score, ByteSink& sink) {
  // The text is written in UTF-8, whatever the input's encoding was.
  for (pugi::xml_node node = score.document.first_child(); node; node = node.next_sibling()) {
    if (node.type() == pugi::node_declaration && node.attribute("encoding")) node.attribute("encoding") = "UTF-8";
  }
  SinkWriter writer(sink);
  score.document.save(writer, "  ", pugi::format_default, pugi::encoding_utf8);
}

std::string ContainerXml(const std::string& inner) {
  pugi::xml_document container;
  pugi::xml_node declaration = container.append_child(pugi::node_declaration);
  declaration.append_attribute("version") = "1.0";
  declaration.append_attribute("encoding") = "UTF-8";
  pugi::xml_node rootfile = container.append_child("container").append_child("rootfiles").append_child("rootfile");
  rootfile.append_attribute("full-path") = inner.c_str();
  rootfile.append_attribute("media-type") = "application/vnd.recordare.musicxml+xml";
  std::ostringstream out;
  container.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
  return out.str();
}

// One entry of the archive written: its name and bytes, and whether it is
// a folder or the stored mimetype.
struct ArchiveEntry {
  std::string name;
  std::string bytes;
  bool folder = false;
};

// The entries of the archive read, in its order with "mimetype" first; the
// score's own entry holds the cued score.
bool EntriesOf(const ScoreFile& score, const std::string& xml, std::vector<ArchiveEntry>* entries, std::string* error) {
  ZipArchive zip;
  std::string why;
  if (!zip.Open(score.archive, &why)) {
    *error = "cannot read the archive again: " + why;
    return false;
  }
  const zip_int64_t count = zip_get_num_entries(zip.archive, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    ArchiveEntry entry{zip_get_name(zip.archive, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW), {}, false};
    entry.folder = !entry.name.empty() && entry.name.back() == '/';
    if (entry.name == score.innerPath) {
      entry.bytes = xml;
    } else if (!entry.folder) {
      std::vector<char> bytes;
      if (!ReadEntry(zip.archive, entry.name, &bytes, error)) return false;
      entry.bytes.assign(bytes.begin(), bytes.end());
    }
    entries->push_back(std::move(entry));
  }
  std::stable_partition(entries->begin(), entries->end(), [](const ArchiveEntry& e) { return e.name == "mimetype"; });
  return true;
}

// An .mxl archive made in memory: the entries of the archive read, or for a
// plain score read, the mimetype (first and stored), the container, the score.
bool Compress(const ScoreFile& score, const std::string& inner, const std::string& xml, std::string* bytes,
              std::string* error) {
  std::vector<ArchiveEntry> entries;
  if (!score.archive.empty()) {
    if (!EntriesOf(score, xml, &entries, error)) return false;
  } else {
    entries = {{"mimetype", kMimeType, false}, {"META-INF/container.xml", ContainerXml(inner), false}, {inner, xml, false}};
  }
  zip_error_t zipError;
  zip_error_init(&zipError);
  zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &zipError);
  zip_t* archive = buffer != nullptr ? zip_open_from_source(buffer, ZIP_TRUNCATE, &zipError) : nullptr;
  if (archive == nullptr) {
    *error = std::string("cannot make the archive: ") + zip_error_strerror(&zipError);
    zip_error_fini(&zipError);
    if (buffer != nullptr) zip_source_free(buffer);
    return false;
  }
  zip_error_fini(&zipError);
  zip_source_keep(buffer);  // its bytes are read after the archive is closed
  // libzip reads the contents only at zip_close: they live in entries until then.
  bool made = true;
  for (const ArchiveEntry& entry : entries) {
    if (entry.folder) {
      made = made && zip_dir_add(archive, entry.name.c_str(), ZIP_FL_ENC_GUESS) >= 0;
      continue;
    }
    zip_source_t* source = zip_source_buffer(archive, entry.bytes.data(), entry.bytes.size(), 0);
    const zip_int64_t index =
        source != nullptr ? zip_file_add(archive, entry.name.c_str(), source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_GUESS) : -1;
    if (index < 0) {
      if (source != nullptr) zip_source_free(source);
      made = false;
      break;
    }
    if (entry.name == "mimetype") zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
  }
  if (!made || zip_close(archive) != 0) {
    *error = std::string("cannot make the archive: ") + zip_strerror(archive);
    zip_discard(archive);
    zip_source_free(buffer);
    return false;
  }
  zip_stat_t stat;
  made = zip_source_stat(buffer, &stat) == 0 && zip_source_open(buffer) == 0;
  if (made) {
    bytes->resize(static_cast<size_t>(stat.size));
    made = zip_source_read(buffer, bytes->data(), stat.size) == static_cast<zip_int64_t>(stat.size);
    zip_source_close(buffer);
  }
  zip_source_free(buffer);
  if (!made) *error = "cannot make the archive";
  return made;
}

}  // namespace

namespace {

// A score's bytes, plain or an .mxl; own and again as for Parse.
bool ReadScoreText(std::string_view bytes, ParseBuffer* own, const std::string& path, ScoreFile* score,
                   std::string* error, const ReadAgain& again) {
  if (bytes.empty()) {
    *error = path + ": the file is empty";
    return false;
  }
  const bool zipped = bytes.size() >= 4 && std::memcmp(bytes.data(), "PK\x03\x04", 4) == 0;
  if (zipped) {
    std::vector<char> archive(bytes.begin(), bytes.end());
    return ReadCompressed(path, archive, score, error);
  }
  if (EndsWith(path, ".mxl")) {
    *error = path + ": not a readable .mxl archive (it is no zip file)";
    return false;
  }
  return Parse(bytes, own, path, &score->document, error, again);
}

}  // namespace

bool ReadScore(const std::string& path, ScoreFile* score, std::string* error) {
  ParseBuffer bytes;
  bool regular = false;
  if (!ReadFile(path, &bytes, error, &regular)) return false;
  // What comes through a pipe cannot be read again: the parse takes a copy.
  const ReadAgain again = [&path](ParseBuffer* original) {
    std::string ignored;
    return ReadFile(path, original, &ignored);
  };
  return ReadScoreText(bytes.View(), regular ? &bytes : nullptr, path, score, error, again);
}

bool ReadScoreBytes(std::vector<char> bytes, const std::string& path, ScoreFile* score, std::string* error) {
  return ReadScoreText({bytes.data(), bytes.size()}, nullptr, path, score, error, nullptr);
}

bool CompressedName(const std::string& name) { return EndsWith(name, ".mxl"); }

bool WriteScore(ScoreFile& score, const std::string& name, ByteSink& sink, std::string* error) {
  if (!CompressedName(name)) {
    Serialise(score, sink);
    return true;
  }
  std::string inner = score.innerPath;
  if (inner.empty()) {
    const std::string base = name.substr(name.find_last_of('/') == std::string::npos ? 0 : name.find_last_of('/') + 1);
    inner = base.substr(0, base.size() - 4) + ".musicxml";
  }
  StringSink xml;
  Serialise(score, xml);
  std::string bytes;
  if (!Compress(score, inner, xml.text, &bytes, error)) return false;
  sink.Put(bytes.data(), bytes.size());
  return true;
}

std::string CuedPath(const std::string& input, const std::string& directory) {
  std::string beside = input + ".cued.musicxml";
  for (const char* extension : {".musicxml", ".xml", ".mxl"}) {
    if (EndsWith(input, extension)) {
      // The extension as the input spells it.
      const size_t at = input.size() - std::strlen(extension);
      beside = input.substr(0, at) + ".cued" + input.substr(at);
      break;
    }
  }
  return directory.empty() ? beside : directory + "/" + beside.substr(beside.find_last_of('/') + 1);
}

std::string ScoreTitle(const pugi::xml_document& document, const std::string& path) {
  const pugi::xml_node root = document.document_element();
  std::string title = root.child("work").child_value("work-title");
  const std::string movement = root.child_value("movement-title");
  if (!movement.empty()) title += (title.empty() ? "" : ": ") + movement;
  return title.empty() ? path.substr(path.find_last_of('/') + 1) : title;
}

}  // namespace ostinel_cli

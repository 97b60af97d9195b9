#include "settings_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "messages.h"
#include "output_file.h"
#include "settings_key.h"

namespace ostinel_cli {

namespace {

bool MakeDirectories(const std::string& path, std::string* error) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string prefix = path.substr(0, slash);
    if (mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) {
      *error = prefix + ": " + std::strerror(errno);
      return false;
    }
    if (slash == std::string::npos) return true;
  }
}

const char* KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "no regular file";
}

// Reads at most kLargest + 1 bytes of a regular file; never waits on a FIFO
// or reads a device that never ends. False with the reason.
bool ReadBounded(const std::string& path, std::string* text, std::string* why, bool* regular) {
  *regular = true;
  const int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (descriptor < 0) {
    *why = std::strerror(errno);
    return false;
  }
  struct stat status {};
  if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
    *why = std::string("is ") + KindOf(status.st_mode);
    *regular = false;
    close(descriptor);
    return false;
  }
  char buffer[4096];
  for (;;) {
    const ssize_t read = ::read(descriptor, buffer, sizeof buffer);
    if (read < 0 && errno == EINTR) continue;
    if (read < 0) {
      *why = std::strerror(errno);
      close(descriptor);
      return false;
    }
    if (read == 0) break;
    text->append(buffer, static_cast<size_t>(read));
    if (static_cast<long>(text->size()) > SettingsFile::kLargest) {
      *why = "is larger than any settings file (" + std::to_string(SettingsFile::kLargest / 1024) + " kB)";
      close(descriptor);
      return false;
    }
  }
  close(descriptor);
  return true;
}

}  // namespace

SettingsFile::SettingsFile(const std::string& directory) : m_directory(directory) {
  if (!directory.empty()) m_file = directory + "/registry";
}

void SettingsFile::Defaults(quivrasim::Registry& registry) {
  registry = quivrasim::Registry();
  registry.CreateKey(OSTINEL_SETTINGS_KEY);
}

void SettingsFile::Load(quivrasim::Registry& registry, std::FILE* err) {
  Defaults(registry);
  if (m_file.empty()) {
    Warn(err, "there is no place to keep your choices (HOME is empty); give --config-dir to keep them");
    m_writable = false;
    return;
  }
  struct stat status {};
  if (stat(m_file.c_str(), &status) != 0 && errno == ENOENT) return;  // a first run
  std::string text, why;
  bool regular = true;
  std::string error;
  if (ReadBounded(m_file, &text, &why, &regular) && registry.LoadText(text, m_file, &error)) {
    m_held = registry.Text();
    return;
  }
  Defaults(registry);
  if (!regular) {
    // Not ours to replace: the choices of this run are not kept.
    Warn(err, "settings file " + m_file + " " + why + "; starting from the defaults, and your choices are not kept");
    m_writable = false;
    return;
  }
  if (error.empty()) error = m_file + ": " + why;
  // What could not be recognised is moved aside, never written over.
  std::string aside = m_file + ".unrecognised";
  for (int n = 2; access(aside.c_str(), F_OK) == 0 || errno != ENOENT; ++n) {
    aside = m_file + ".unrecognised." + std::to_string(n);
    if (n > 100) break;
  }
  if (rename(m_file.c_str(), aside.c_str()) == 0) {
    Warn(err, "settings file " + error + "; moved aside to " + aside + "; starting from the defaults");
  } else {
    Warn(err, "settings file " + error + "; left as it is (" + std::strerror(errno) +
                  "); starting from the defaults, and your choices are not kept");
    m_writable = false;
  }
}

void SettingsFile::Save(const quivrasim::Registry& registry, std::FILE* err) const {
  if (!m_writable) return;
  // Choices as they were: the file is left as it is, not written again (and
  // flushed to the disk) for nothing.
  const std::string text = registry.Text();
  if (m_held && *m_held == text) return;
  std::string error;
  OutputTarget target;
  if (!MakeDirectories(m_directory, &error) || !CheckTarget(m_file, &target, &error)) {
    Warn(err, error + "; your choices were not kept");
    return;
  }
  // A stop during the write leaves the old settings, and the stop says why.
  if (WriteWhole(target, text, &error) == WriteResult::Failed) {
    Warn(err, error + "; your choices were not kept");
  }
}

}  // namespace ostinel_cli

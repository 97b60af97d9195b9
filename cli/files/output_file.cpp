#include "output_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "stop_request.h"

namespace ostinel_cli {

namespace {

constexpr const char* kTemporaryPrefix = ".ostinel-tmp-";

std::string Directory(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string Base(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

const char* Kind(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

// A path with its symlinks followed, also when the last one points at a
// file that does not exist yet.
bool FollowLinks(const std::string& given, std::string* path, std::string* error) {
  std::string current = given;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat link {};
    if (lstat(current.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) {
      *path = current;
      return true;
    }
    std::vector<char> target(PATH_MAX + 1);
    const ssize_t length = readlink(current.c_str(), target.data(), PATH_MAX);
    if (length < 0) {
      *error = given + ": " + std::strerror(errno);
      return false;
    }
    const std::string next(target.data(), static_cast<size_t>(length));
    current = next.front() == '/' ? next : Directory(current) + "/" + next;
  }
  *error = given + ": " + std::strerror(ELOOP);
  return false;
}

// Writes to a file descriptor in large pieces, until a stop or a failure.
class DescriptorSink final : public ByteSink {
 public:
  explicit DescriptorSink(int descriptor) : m_descriptor(descriptor) { m_buffer.reserve(kPiece); }

  void Put(const char* data, size_t size) override {
    if (m_buffer.size() + size > kPiece) Flush();
    if (size >= kPiece) {
      Write(data, size);
    } else {
      m_buffer.insert(m_buffer.end(), data, data + size);
    }
  }

  // The first failure (an errno value), or 0 when everything was written.
  int Finish() {
    Flush();
    return m_failure;
  }

 private:
  static constexpr size_t kPiece = size_t{1} << 20;

  void Flush() {
    Write(m_buffer.data(), m_buffer.size());
    m_buffer.clear();
  }

  void Write(const char* data, size_t left) {
    while (left > 0 && m_failure == 0 && StopSignal() == 0) {
      const ssize_t written = write(m_descriptor, data, left);
      if (written < 0) {
        if (errno != EINTR) m_failure = errno;
        continue;
      }
      data += written;
      left -= static_cast<size_t>(written);
    }
  }

  int m_descriptor;
  int m_failure = 0;
  std::vector<char> m_buffer;
};

class StreamSink final : public ByteSink {
 public:
  explicit StreamSink(std::FILE* stream) : m_stream(stream) {}
  void Put(const char* data, size_t size) override {
    if (m_good) m_good = std::fwrite(data, 1, size, m_stream) == size;
  }
  // False, with errno set, when anything failed to reach the stream.
  bool Finish() { return std::fflush(m_stream) == 0 && m_good; }

 private:
  std::FILE* m_stream;
  bool m_good = true;
};

}  // namespace

bool CheckTarget(const std::string& given, OutputTarget* target, std::string* error) {
  target->given = given;
  if (given == "-") {
    target->standardOutput = true;
    return true;
  }
  if (given.empty() || given.back() == '/') {
    *error = given + ": names a directory, not a file to write";
    return false;
  }
  // What the name leads to now, as the system follows it (/dev/stdout,
  // /proc/self/fd/N): standard output itself when it is no file, else only a
  // regular file.
  struct stat now {};
  struct stat out {};
  if (stat(given.c_str(), &now) == 0 && !S_ISREG(now.st_mode)) {
    if (fstat(STDOUT_FILENO, &out) == 0 && out.st_dev == now.st_dev && out.st_ino == now.st_ino) {
      target->standardOutput = true;
      return true;
    }
    *error = given + ": is " + Kind(now.st_mode) + "; the command writes only regular files";
    return false;
  }
  if (!FollowLinks(given, &target->path, error)) return false;
  if (stat(target->path.c_str(), &target->original) == 0) {
    if (!S_ISREG(target->original.st_mode)) {
      *error = given + ": is " + Kind(target->original.st_mode) + "; the command writes only regular files";
      return false;
    }
    target->exists = true;
    return true;
  }
  if (errno != ENOENT) {
    *error = given + ": " + std::strerror(errno);
    return false;
  }
  const std::string directory = Directory(target->path);
  struct stat parent {};
  if (stat(directory.c_str(), &parent) != 0) {
    *error = given + ": cannot write in " + directory + ": " + std::strerror(errno);
    return false;
  }
  if (!S_ISDIR(parent.st_mode)) {
    *error = given + ": cannot write in " + directory + ": " + std::strerror(ENOTDIR);
    return false;
  }
  if (access(directory.c_str(), W_OK | X_OK) != 0) {
    *error = given + ": cannot write in " + directory + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool SameFile(const std::string& a, const std::string& b) {
  if (a == "-" || b == "-") return a == b;
  struct stat first {};
  struct stat second {};
  const bool firstExists = stat(a.c_str(), &first) == 0;
  const bool secondExists = stat(b.c_str(), &second) == 0;
  if (firstExists && secondExists) return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
  if (firstExists != secondExists) return false;
  // Neither exists yet: the same name in the same directory.
  std::string pathA;
  std::string pathB;
  std::string ignored;
  if (!FollowLinks(a, &pathA, &ignored) || !FollowLinks(b, &pathB, &ignored)) return false;
  char* dirA = realpath(Directory(pathA).c_str(), nullptr);
  char* dirB = realpath(Directory(pathB).c_str(), nullptr);
  const bool same = dirA != nullptr && dirB != nullptr && std::strcmp(dirA, dirB) == 0 && Base(pathA) == Base(pathB);
  std::free(dirA);
  std::free(dirB);
  return same;
}

WriteResult WriteWhole(const OutputTarget& target, const std::string& bytes, std::string* error) {
  return WriteWhole(
      target,
      [&bytes](ByteSink& sink, std::string*) {
        sink.Put(bytes.data(), bytes.size());
        return true;
      },
      error);
}

// A run killed outright (SIGKILL) leaves its temporary file behind: its name
// holds the process's id, so that a later run writing there removes it once
// that process is gone.
void RemoveStaleTemporaries(const std::string& directory) {
  DIR* listing = opendir(directory.c_str());
  if (listing == nullptr) return;
  while (const dirent* entry = readdir(listing)) {
    const std::string name = entry->d_name;
    if (name.rfind(kTemporaryPrefix, 0) != 0) continue;
    const long pid = std::strtol(name.c_str() + std::strlen(kTemporaryPrefix), nullptr, 10);
    if (pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) unlink((directory + "/" + name).c_str());
  }
  closedir(listing);
}

WriteResult WriteWhole(const OutputTarget& target, const Producer& produce, std::string* error) {
  const std::string directory = Directory(target.path);
  RemoveStaleTemporaries(directory);
  std::string pattern = directory + "/" + kTemporaryPrefix + std::to_string(getpid()) + "-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int descriptor = mkstemp(name.data());
  if (descriptor < 0) {
    *error = target.given + ": cannot write in " + directory + ": " + std::strerror(errno);
    return WriteResult::Failed;
  }
  SetPendingFile(name.data());
  DescriptorSink sink(descriptor);
  std::string problem;
  const bool made = produce(sink, &problem);
  int failure = made ? sink.Finish() : 0;
  if (made && failure == 0 && StopSignal() == 0 && fsync(descriptor) != 0) failure = errno;
  if (made && failure == 0 && StopSignal() == 0) {
    // The file the user had keeps its permissions (and, where we may, its
    // owner); a new one gets those any new file of the user's would.
    mode_t mode = 0666;
    if (target.exists) {
      mode = target.original.st_mode & 07777;
      if (geteuid() == 0) (void)fchown(descriptor, target.original.st_uid, target.original.st_gid);
    } else {
      const mode_t mask = umask(0);
      umask(mask);
      mode &= ~mask;
    }
    if (fchmod(descriptor, mode) != 0) failure = errno;
  }
  if (close(descriptor) != 0 && failure == 0) failure = errno;
  // The rename is the moment the file is written: a stop after it is too late.
  bool renamed = false;
  if (made && failure == 0 && StopSignal() == 0) {
    renamed = rename(name.data(), target.path.c_str()) == 0;
    if (!renamed) failure = errno;
  }
  SetPendingFile(nullptr);
  if (renamed) return WriteResult::Written;
  unlink(name.data());
  // A stop: the handler may have taken the temporary file from under the rename.
  if (StopSignal() != 0 && (failure == 0 || failure == ENOENT || failure == EINTR)) return WriteResult::Stopped;
  *error = target.given + ": " + (made ? std::string("cannot write: ") + std::strerror(failure) : problem);
  return WriteResult::Failed;
}

bool WriteStream(std::FILE* stream, const Producer& produce, std::string* error) {
  StreamSink sink(stream);
  std::string problem;
  if (!produce(sink, &problem)) {
    *error = "standard output: " + problem;
    return false;
  }
  if (!sink.Finish()) {
    *error = std::string("standard output: ") + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace ostinel_cli

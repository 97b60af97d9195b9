// The files the command writes (the cued score, the JSON summary): checked
// before any work, and written whole or not at all.
#pragma once

#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "byte_sink.h"

namespace ostinel_cli {

struct OutputTarget {
  std::string given;            // as the user named it
  std::string path;             // the file written, symlinks followed
  bool standardOutput = false;  // "-"
  bool exists = false;
  struct stat original {};      // its mode and owner, kept
};

// Resolves a path to write and checks that it can be written: a regular file
// or a new name in an existing directory (a symlink is followed to its
// target); "-" is standard output. False with a message naming the path and
// the reason.
bool CheckTarget(const std::string& given, OutputTarget* target, std::string* error);

// True when two paths name the same file, whether or not it exists yet.
bool SameFile(const std::string& a, const std::string& b);

enum class WriteResult { Written, Failed, Stopped };

// Writes bytes to a checked target through a temporary file beside it that
// is renamed into place: the target is then complete, with its old mode and
// owner, or as it was. A stop (SIGINT, SIGTERM) before the rename leaves it
// as it was and no temporary file behind.
WriteResult WriteWhole(const OutputTarget& target, const std::string& bytes, std::string* error);
// The same with the content made as it is written; a producer that fails
// leaves the target as it was.
WriteResult WriteWhole(const OutputTarget& target, const Producer& produce, std::string* error);

// Writes content to an open stream (standard output) and flushes it; false
// with a message when the content cannot be made or written.
bool WriteStream(std::FILE* stream, const Producer& produce, std::string* error);

}  // namespace ostinel_cli

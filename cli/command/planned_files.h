// The files a run (or a batch of runs) will write, checked before any work:
// each can be written as a whole; none is a score read or another of them; a
// name the command chose itself is no symbolic link; and a score that is no
// regular file has no place beside it for its cued copy.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "output_file.h"

namespace ostinel_cli {

struct PlannedFile {
  std::string option;  // "-o", "--json", ... or "" for a name the command chose
  std::string what;    // "the cued score", "the summary", ...
  std::string path;
  bool mayBeInput = false;  // named by the user as the cued score: it may replace the score read
  OutputTarget target;      // filled by the check
};

// False after a message on err.
bool CheckPlannedFiles(std::vector<PlannedFile>& files, const std::vector<std::string>& inputs, std::FILE* err);

}  // namespace ostinel_cli

#include "planned_files.h"

#include <sys/stat.h>

#include "messages.h"

namespace ostinel_cli {

bool CheckPlannedFiles(std::vector<PlannedFile>& files, const std::vector<std::string>& inputs, std::FILE* err) {
  for (size_t i = 0; i < files.size(); ++i) {
    PlannedFile& file = files[i];
    struct stat link {};
    if (file.option.empty() && lstat(file.path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
      Say(err, file.path + " is a symbolic link; at a name it chose itself the command follows no link (give -o " +
                   file.path + " to write through it)");
      return false;
    }
    std::string error;
    if (!CheckTarget(file.path, &file.target, &error)) {
      Say(err, error);
      return false;
    }
    for (const std::string& input : inputs) {
      if (file.mayBeInput || !SameFile(file.path, input)) continue;
      Say(err, (file.option.empty() ? file.what + " " + file.path : file.option + " " + file.path) +
                   " names the score " + input + "; give " + file.what + " a file of its own");
      return false;
    }
    for (size_t j = 0; j < i; ++j) {
      if (!SameFile(file.path, files[j].path)) continue;
      Say(err, file.path + " would hold both " + files[j].what + " and " + file.what + "; give each a file of its own");
      return false;
    }
  }
  return true;
}

}  // namespace ostinel_cli

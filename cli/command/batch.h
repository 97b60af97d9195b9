// Several scores in one call: each is cued by a process of its own (the
// plug-in keeps process-wide state from one search to the next), a few at
// a time, and the results come back as one line per score and a total.
#pragma once

#include <string>

#include "command_io.h"
#include "options.h"

namespace ostinel_cli {

// Runs every score of options.inputs; the exit status is 1 when any failed
// (2 when the outputs cannot all be written, before any work; 128 + the
// signal when stopped).
int RunBatch(const CommandOptions& options, const CommandIo& io);

}  // namespace ostinel_cli

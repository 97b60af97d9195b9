// Raising a part's divisions: every duration and offset of the part is
// multiplied with them, so that its music stays as it was.
#pragma once

#include <cstdint>

#include "importer.h"

namespace ostinel_cli {

void ScaleDivisions(PartLayout& part, int64_t factor);

}  // namespace ostinel_cli

// The document's staff groups, read once per search.
#pragma once

#include <cstdint>
#include <vector>

#include "quivra/qx_records.h"

namespace ostinel {

struct TGroupRec {
  uint16_t number;  // 1 to 1000
  uint8_t marker;
  QXGroup group;    // the host's record, whole
  char name[1025];  // plain text, possibly empty
};

class TGroupList {
 public:
  // Reads groups 1 to 1000 of the staff list, passing over missing numbers.
  void Make(uint16_t staffList);
  int Count() const { return static_cast<int>(m_groups.size()); }
  const TGroupRec& At(int index) const { return m_groups[static_cast<size_t>(index)]; }

 private:
  std::vector<TGroupRec> m_groups;
};

}  // namespace ostinel

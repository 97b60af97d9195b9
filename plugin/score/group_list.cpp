#include "score/group_list.h"

#include <cstring>

#include "host/host_text.h"
#include "host/records.h"
#include "host/text_block_loader.h"

namespace ostinel {

namespace {

void CopyName(char (&name)[1025], const char* text) { CopyText(name, sizeof name, text); }

}  // namespace

void TGroupList::Make(uint16_t staffList) {
  m_groups.clear();
  for (uint16_t number = 1; number <= kQXGroupMaxNumber; ++number) {
    TGroupRec record{};
    if (!LoadRecord(kQXTagGroup, QXKey::Of(staffList, number, 0), &record.group)) continue;
    record.number = number;
    record.marker = 0;
    CopyName(record.name, LoadTextBlock(record.group.nameBlock, true));
    if (record.name[0] == '\0') CopyName(record.name, LoadTextBlock(record.group.name2Block, true));
    m_groups.push_back(record);
  }
}

}  // namespace ostinel

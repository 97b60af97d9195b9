// The record writes of a stretch of work, kept so that the work can be taken
// back when it fails half way: a cue copied into one staff is written whole
// or not at all. Frames are not kept here: their writer knows which frames it
// touched (see the cue writer).
#pragma once

#include <cstdint>
#include <vector>

#include "quivra/qx_layout.h"

namespace ostinel {

class WriteJournal {
 public:
  // Starts keeping the record writes from now on (one journal at a time).
  void Begin();
  // Forgets them: the work stands.
  void Commit();
  // Takes them back, newest first: a record created is deleted, a record
  // saved gets its earlier content back (or is deleted when it had none).
  void Rollback();

  bool Active() const { return m_active; }
  // Called by the record access layer around its writes.
  void BeforeSave(uint32_t tag, const QXKey& key, uint32_t size, uint32_t version);
  void Created(uint32_t tag, const QXKey& key, uint32_t version);

 private:
  struct Write {
    uint32_t tag;
    QXKey key;
    uint32_t version;
    bool created;                      // else saved over...
    bool existed;                      // ...a record that was there...
    std::vector<unsigned char> before;  // ...with this content
    bool known;                        // false: the earlier content could not be read
  };
  bool m_active = false;
  std::vector<Write> m_writes;
};

extern WriteJournal g_writeJournal;

}  // namespace ostinel

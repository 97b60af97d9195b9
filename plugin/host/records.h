// Record access: every load, save, create, delete and walk of a host data
// record goes through here. Record types whose layout changed between host
// versions are told apart by the size of the caller's buffer, and the host is
// given the version word of that layout.
#pragma once

#include <cstdint>

#include "quivra/qx_layout.h"

namespace ostinel {

// The version word to pass for a record of this tag and size; shows a warning
// to the plug-in developer when the caller asked for the wrong layout of the
// three 2004 records. A size of 0 changes nothing.
uint32_t InferVersion(uint32_t tag, uint32_t size, uint32_t version);

// Each returns the host's 16-bit result (nonzero = success). The load takes
// the capacity of the buffer in *size and gets the record's size back; with
// no buffer it only asks for the size.
int16_t EDataLoad(uint32_t tag, QXKey* key, void* buffer, uint32_t* size,
                  uint32_t version = kQXVersionCurrent);
int16_t EDataSave(uint32_t tag, QXKey* key, const void* buffer, uint32_t size,
                  uint32_t version = kQXVersionCurrent);
int16_t EDataCreate(uint32_t tag, QXKey* key, const void* buffer, uint32_t size,
                    uint32_t version = kQXVersionCurrent);
int16_t EDataDelete(uint32_t tag, QXKey* key, uint32_t version = kQXVersionCurrent);
// Finds the record after the key block's one and writes its key back.
int16_t EDataNext(uint32_t tag, QXKey* key, void* buffer, uint32_t size,
                  uint32_t version = kQXVersionCurrent);

// Typed conveniences over the operations above, for fixed-size records.
template <class Record>
bool LoadRecord(uint32_t tag, QXKey key, Record* record, uint32_t version = kQXVersionCurrent) {
  uint32_t size = sizeof(Record);
  return EDataLoad(tag, &key, record, &size, version) != 0;
}
template <class Record>
bool SaveRecord(uint32_t tag, QXKey key, const Record& record, uint32_t version = kQXVersionCurrent) {
  return EDataSave(tag, &key, &record, sizeof(Record), version) != 0;
}
// Creates a record; the host writes the key it assigned back into *key.
template <class Record>
bool CreateRecord(uint32_t tag, QXKey* key, const Record& record, uint32_t version = kQXVersionCurrent) {
  return EDataCreate(tag, key, &record, sizeof(Record), version) != 0;
}

}  // namespace ostinel

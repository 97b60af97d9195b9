// The plug-in's internal operations that tests call directly. The probe
// module is the plug-in's own code plus core_probe.cpp, which hands out this
// table; a test loads the probe afresh through the simulated host, as the
// host loads the plug-in, so every test starts from the plug-in's load state.
#pragma once

#include <cstdint>

#include "host/cedata.h"
#include "host/preferences.h"
#include "score/group_list.h"
#include "search/rest_measurement.h"
#include "quivra/qx_layout.h"

struct CoreProbe {
  // Text buffers and the window title check.
  char* (*LoadPluginString)(uint32_t id, char* buffer, int16_t size);
  HWND (*FindWindowByTitle)(const char* title);
  // Host operations with the plug-in's own answers.
  int16_t (*StartEdit)(const char* label, uint32_t version);
  int16_t (*EndEdit)(uint32_t version);
  int16_t (*CancelEdit)(uint32_t version);
  int16_t (*ExecuteMenuItem)(uint32_t command, uint32_t version);
  int16_t (*GetMaxLayers)(uint32_t version);
  int16_t (*OpenEditCount)();
  int16_t (*SlotToInst)(uint16_t slot, uint16_t list, uint32_t version);
  // Record access.
  uint32_t (*InferVersion)(uint32_t tag, uint32_t size, uint32_t version);
  int16_t (*EDataLoad)(uint32_t tag, QXKey* key, void* buffer, uint32_t* size, uint32_t version);
  int16_t (*EDataSave)(uint32_t tag, QXKey* key, const void* buffer, uint32_t size, uint32_t version);
  int16_t (*EDataCreate)(uint32_t tag, QXKey* key, const void* buffer, uint32_t size, uint32_t version);
  int16_t (*EDataNext)(uint32_t tag, QXKey* key, void* buffer, uint32_t size, uint32_t version);
  int16_t (*AssemblePreferences)(ostinel::FieldMapEntry* map, int fieldCount, void* buffer, uint32_t* size);
  void (*NormalizeEntry)(QXEntry* entry);
  int16_t (*FrameSave)(QXFrame* frame, uint32_t version);
  int16_t (*FrameInsertEntries)(QXFrame* frame, uint16_t index, uint16_t count, uint32_t version);
  QXFrame* (*LoadFrame)(uint16_t list, uint16_t slot, uint16_t measure, uint16_t layer, uint16_t mode,
                        uint32_t version);
  int16_t (*FreeFrame)(QXFrame* frame, uint32_t version);
  // A record object over a body of the given size (none when size is 0).
  ostinel::CEData* (*NewRecord)(uint32_t tag, uint32_t size);

  // Caret texts, text blocks and staff names.
  char* (*PlainTextCopy)(const char* text, char command, char open, char close);  // delete[] the result
  void (*PlainTextInPlace)(char* text, char command, char open, char close);
  const char* (*LoadTextBlock)(uint16_t number, bool plain, QXTextBlock* block);
  // A staff's first (which 1) or second (which 2) name, plain, into out;
  // returns what the name operation answered (1: the fallback).
  int (*StaffName)(uint16_t instrument, int which, char* out, size_t size);
  bool (*FontOfCommand)(const char* text, int index, QXFontInfo* font);
  // A text object: the raw text it creates, and the walk from one block to the next.
  uint16_t (*CreateRawText)(const char* text);
  // Loads block `from`, steps to the next one; its number (0 at the end) and text.
  uint16_t (*NextTextBlock)(uint16_t from, char* out, size_t size);

  // Staff groups, made into the search's list.
  int (*MakeGroups)(uint16_t staffList);
  const ostinel::TGroupRec* (*Group)(int index);

  // The cue name.
  void (*ResolveCueName)(char* name, int16_t instrument);
  int (*FindOrCreateTextExpression)(char* text, uint16_t fontWord, uint16_t efx);
  void (*PlaceCueName)(const char* name, int slot, const QXRegion& document, int measure, const QXEntry& entry);

  // The cue writer's copy of shapes bound to copied entries: the entries
  // copied and their copies, the shapes to copy, from the source staff
  // (score order) to the destination slot of the document's staff list.
  void (*CopyEntryShapes)(uint16_t documentList, int sourceSlot, int destinationSlot, const uint32_t* from,
                          const uint32_t* to, int count, const uint32_t* shapes, int shapeCount);

  // The tempo map.
  bool (*BuildTempoMap)(const QXRegion& region);
  double (*Duration)(const QXRegion& region);
  double (*TempoAt)(int32_t measure, int32_t position);
  int (*TempoMapSize)();
  // Entry index of the map: kind ('t' or 'e'), measure, position and tempo.
  void (*TempoMapEntry)(int index, char* kind, int32_t* measure, int32_t* position, double* tempo);

  // The rest measurement, over a search state made as a fresh start makes it.
  void (*PrepareSearch)(uint32_t workingFlags);
  bool (*MeasureEmpty)(int slot, int measure, const ostinel::TEmpty** record);
  bool (*HasCue)(int slot, int measure);
  void (*MarkCued)(int slot, int measure, int layer);
  double (*RestLength)(int slot, int start, int* last, int* first, bool forward, int32_t maxLength, int32_t maxEnd);
  bool (*SecondaryStaff)(int instrument);
  // A staff's offer as the cue's source for first..last: its score, start and end.
  int (*ScoreSource)(int slot, int first, int last, int* start, int* end);
};

#define CORE_PROBE_SYMBOL "OstinelCoreProbe"
typedef const CoreProbe* (*CoreProbeFn)();

// The host operations: resolved once by name, the plug-in's count of its
// open edits, and the operations that answer for themselves.
#include "harness.h"
#include "quivra/qx_records.h"

namespace ostinel_test {
namespace {

using quivrasim::Op;

TEST_F(CoreTest, EditsAreCountedEvenWhenRefusedAndEndedOnlyWhenOpen) {
  EXPECT_EQ(core->StartEdit("First", kQXVersionCurrent), 1);
  EXPECT_EQ(core->OpenEditCount(), 1);
  EXPECT_TRUE(host.Doc().EditOpen());
  EXPECT_EQ(core->EndEdit(kQXVersionCurrent), 1);
  EXPECT_EQ(core->OpenEditCount(), 0);
  EXPECT_EQ(host.Doc().UndoLabels(), std::vector<std::string>{"First"});

  // None open: ending answers 1 and cancelling does nothing, neither asks the host.
  host.ResetCounters();
  EXPECT_EQ(core->EndEdit(kQXVersionCurrent), 1);
  core->CancelEdit(kQXVersionCurrent);
  EXPECT_EQ(host.Calls(Op::QX_EndQuivraEdit), 0);
  EXPECT_EQ(host.Calls(Op::QX_CancelQuivraEdit), 0);
  EXPECT_EQ(core->OpenEditCount(), 0);

  // Starting counts even when the host refuses: it has one edit at a time.
  EXPECT_EQ(core->StartEdit("Outer", kQXVersionCurrent), 1);
  EXPECT_EQ(core->StartEdit("Inner", kQXVersionCurrent), 0);
  EXPECT_EQ(core->OpenEditCount(), 2);
  core->CancelEdit(kQXVersionCurrent);
  EXPECT_EQ(core->OpenEditCount(), 1);
  EXPECT_EQ(host.Calls(Op::QX_CancelQuivraEdit), 1);
}

TEST_F(CoreTest, CancellingAnEditRestoresTheDocument) {
  build.Measures(2);
  const uint16_t flute = build.Staff("Flute");
  build.Play(flute, 1, 2);
  core->StartEdit("Change", kQXVersionCurrent);
  QXFrame* frame = core->LoadFrame(0, 1, 2, 0, 0, kQXVersionCurrent);
  frame->entryCount = 1;
  core->FrameSave(frame, kQXVersionCurrent);
  core->FreeFrame(frame, kQXVersionCurrent);
  EXPECT_EQ(host.Doc().Frame({flute, 2, 0})->size(), 1u);
  EXPECT_EQ(core->CancelEdit(kQXVersionCurrent), 1);
  EXPECT_EQ(core->OpenEditCount(), 0);
  EXPECT_EQ(host.Doc().Frame({flute, 2, 0})->size(), 4u);
  EXPECT_TRUE(host.Doc().UndoLabels().empty());
}

// A host without the operations that answer for themselves, and two others.
class WithheldTest : public CoreTest {
 protected:
  void BeforeLoad() override {
    for (const char* name : {"QX_StartQuivraEdit", "QX_EndQuivraEdit", "QX_CancelQuivraEdit", "QX_ExecuteMenuItem",
                             "QX_GetMaxLayers", "QX_SlotToInst", "QX_LoadTGF"}) {
      host.Withhold(name);
    }
    host.Doc().SetMaxLayers(6);
  }
};

TEST_F(WithheldTest, EditOperationsAnswerForThemselves) {
  EXPECT_EQ(core->StartEdit("Label", kQXVersionCurrent), 0);
  EXPECT_EQ(core->OpenEditCount(), 1) << "counted although the host lacks the operation";
  EXPECT_EQ(core->StartEdit("Label", kQXVersionCurrent), 0);
  EXPECT_EQ(core->EndEdit(kQXVersionCurrent), 1);
  EXPECT_EQ(core->OpenEditCount(), 1);
  core->CancelEdit(kQXVersionCurrent);
  EXPECT_EQ(core->OpenEditCount(), 0);
  EXPECT_FALSE(host.Doc().EditOpen());
  EXPECT_EQ(host.Calls(Op::QX_StartQuivraEdit) + host.Calls(Op::QX_EndQuivraEdit) +
                host.Calls(Op::QX_CancelQuivraEdit),
            0);
}

TEST_F(WithheldTest, MenuCommandAndLayerCountAnswerForThemselvesAndAnyOtherFailsWithZero) {
  EXPECT_EQ(core->ExecuteMenuItem(kQXMenuShowSelection, kQXVersionCurrent), 0);
  EXPECT_EQ(core->GetMaxLayers(kQXVersionCurrent), 4);
  EXPECT_TRUE(host.MenuCommands().empty());
  build.Measures(1);
  build.Staff("Flute");
  EXPECT_EQ(core->SlotToInst(1, 0, kQXVersionCurrent), 0);
  EXPECT_EQ(core->LoadFrame(0, 1, 1, 0, 0, kQXVersionCurrent), nullptr);
}

TEST_F(CoreTest, RecordObjectsWithoutABodyNeverReachTheHost) {
  ostinel::CEData* record = core->NewRecord(kQXTagTextBlock, 0);
  host.ResetCounters();
  EXPECT_FALSE(record->Load(1, kQXVersionCurrent));
  EXPECT_FALSE(record->Save(1, kQXVersionCurrent));
  EXPECT_EQ(host.Calls(Op::QX_LoadEData) + host.Calls(Op::QX_SaveEData), 0);
  delete record;
}

TEST_F(CoreTest, RecordObjectsLoadSaveDeleteAndWalkByNumber) {
  const uint16_t first = build.TextBlock("one");
  const uint16_t second = build.TextBlock("two");
  ostinel::CEData* record = core->NewRecord(kQXTagTextBlock, 48);
  host.LogRecordCalls(true);

  ASSERT_TRUE(record->Load(first, kQXVersionCurrent));
  EXPECT_EQ(record->Number(), first);
  EXPECT_EQ(record->Size(), 48u);
  EXPECT_EQ(host.RecordCalls().back().version, 0x08000000u) << "through the record access layer";
  ASSERT_TRUE(record->LoadNext());
  EXPECT_EQ(record->Key().first, second);
  EXPECT_FALSE(record->LoadNext()) << "no third block";
  EXPECT_TRUE(record->Save(second, kQXVersionCurrent));
  EXPECT_TRUE(record->Delete(first));
  EXPECT_EQ(host.Doc().Records().Count(kQXTagTextBlock), 1u);
  EXPECT_FALSE(record->Load(first, kQXVersionCurrent));
  delete record;
}

}  // namespace
}  // namespace ostinel_test

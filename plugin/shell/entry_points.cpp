#include "shell/entry_points.h"

#include "host/host_module.h"
#include "resources/resource_ids.h"
#include "resources/texts.h"
#include "shell/plugin_state.h"

using namespace ostinel;

int32_t QXAPI QuivraExtensionInit(uint32_t /*unused*/, uint32_t* word) {
  *word = 0;
  LoadPluginTexts();
  return 1;
}

int32_t QXAPI QuivraExtensionEnumerate(uint32_t /*unused*/, int16_t index, QXMenuDesc* menu) {
  if (index >= 1) return 0;  // the plug-in has exactly one command
  LoadPluginString(IDS_MENU_TEXT, menu->text, 64);
  LoadPluginString(IDS_MENU_TEXT2, menu->text2, 64);
  LoadPluginString(IDS_MENU_TEXT3, menu->text3, 64);
  menu->field1 = 0;
  menu->field2 = 0;
  return 1;
}

int32_t QXAPI QuivraExtensionGetMenuStatus(uint32_t /*unused*/) { return 1; }

uint32_t QXAPI QuivraExtensionVersion(uint32_t version) {
  SetHostVersion(version);
  return version;
}

void QXAPI QuivraExtensionTerminate(uint32_t /*unused*/) {}

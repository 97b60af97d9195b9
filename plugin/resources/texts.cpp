#include "resources/texts.h"

#include <cstdarg>
#include <cstdio>

#include "host/host_text.h"
#include "platform/windows_services.h"
#include "resources/resource_ids.h"

namespace ostinel {

PluginTexts g_texts;

namespace {

HINSTANCE g_textModule = nullptr;  // the library's own module, holding the string table

struct TextBuffer {
  uint32_t id;
  char* buffer;
  int16_t size;
};

template <int16_t N>
TextBuffer Buffer(uint32_t id, char (&buffer)[N]) {
  return TextBuffer{id, buffer, N};
}

}  // namespace

char* LoadPluginString(uint32_t id, char* buffer, int16_t size) {
  if (size <= 0) return nullptr;
  buffer[0] = '\0';
  LoadStringA(g_textModule, id, buffer, size);
  buffer[size - 1] = '\0';
  return buffer;
}

// The formats are texts of the plug-in's own string table, loaded at run time.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
int FormatText(char* buffer, size_t size, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  const int length = std::vsnprintf(buffer, size, format, arguments);
  va_end(arguments);
  if (size > 0 && length >= static_cast<int>(size)) EndOnCharacter(buffer);
  return length;
}
#pragma GCC diagnostic pop

void SetTextModule(HINSTANCE module) { g_textModule = module; }

void LoadPluginTexts() {
  const TextBuffer buffers[] = {
      Buffer(IDS_TITLE, g_texts.title),
      Buffer(IDS_CLOSE, g_texts.close),
      Buffer(IDS_ASK_ADD, g_texts.askAdd),
      Buffer(IDS_ADDING, g_texts.adding),
      Buffer(IDS_READY, g_texts.ready),
      Buffer(IDS_PROPOSED_NONE, g_texts.proposedNone),
      Buffer(IDS_AUTOMATIC, g_texts.automatic),
      Buffer(IDS_SEARCHING, g_texts.searching),
      Buffer(IDS_DONE, g_texts.done),
      Buffer(IDS_STOP, g_texts.stop),
      Buffer(IDS_START, g_texts.start),
      Buffer(IDS_START_SEARCH, g_texts.startSearch),
      Buffer(IDS_LOADING_TEMPO, g_texts.loadingTempo),
      Buffer(IDS_PROPOSED_FORMAT, g_texts.proposedFormat),
      Buffer(IDS_MARKER_MEASURES, g_texts.markerMeasures),
      Buffer(IDS_MARKER_SECONDS, g_texts.markerSeconds),
      Buffer(IDS_EDIT_MARK, g_texts.editMark),
      Buffer(IDS_EDIT_SEARCH, g_texts.editSearch),
  };
  static_assert(sizeof buffers / sizeof buffers[0] == 18);
  for (const TextBuffer& text : buffers) LoadPluginString(text.id, text.buffer, text.size);
}

}  // namespace ostinel

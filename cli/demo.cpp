// Loads the plug-in into the simulated host as Quivra would, chooses its menu
// command and reports what the user sees.
#include <cstdio>
#include <string>

#include "quivrasim/host.h"
#include "quivrasim/plugin.h"
#include "quivrasim/score_builder.h"
#include "resources/resource_ids.h"

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : OSTINEL_PLUGIN_PATH;
  quivrasim::Host host;
  quivrasim::ScoreBuilder build(host.Doc());
  build.Measures(40);
  const uint16_t flute = build.Staff("Flute", "Fl.");
  const uint16_t clarinet = build.Staff("Clarinet in B^flat()", "Cl.");
  build.Play(flute, 1, 40);
  build.Play(clarinet, 1, 4).Play(clarinet, 21, 40);

  std::string error;
  auto plugin = quivrasim::Plugin::Load(host, path, &error);
  if (!plugin) {
    std::fprintf(stderr, "ostinel: %s\n", error.c_str());
    return 1;
  }
  for (const std::string& command : plugin->Start()) std::printf("Plug-in menu command: %s\n", command.c_str());

  host.OnDialog([&](quivrasim::DialogSession& dialog) {
    std::printf("Dialog \"%s\" open with %zu controls\n", dialog.Window().Caption().c_str(),
                dialog.Window().Controls().size());
    std::printf("  status: %s | start button: %s | close button: %s\n", dialog.Text(IDC_STATUS).c_str(),
                dialog.Text(IDC_START).c_str(), dialog.Text(IDC_CLOSE).c_str());
    dialog.Click(IDC_CLOSE);
  });
  plugin->Invoke();
  std::printf("Dialog closed; %d dialog(s) opened, %zu alert(s), %zu undoable edit(s)\n", host.DialogsOpened(),
              host.Alerts().size(), host.Doc().UndoStack().size());

  host.SetStudioView(true);
  plugin->Invoke();
  if (!host.Alerts().empty()) std::printf("In studio view: \"%s\"\n", host.Alerts().back().text.c_str());
  return 0;
}

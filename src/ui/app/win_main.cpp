// The entry point of Velmora.exe.
#include <windows.h>

#include "ui/app/velmora_app.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  velmora::ui::CVelmoraApp app;
  if (!app.InitInstance(velmora::ui::CommandLineFiles(__argc, __wargv))) return 0;
  return app.Run();
}

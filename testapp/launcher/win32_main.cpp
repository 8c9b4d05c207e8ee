// mobiapp.exe: starts the runtime, with its windows on the screen, on the test
// application (linked in).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/mobiapp.h"
#include "backend/win32/win32_backend.h"
#include "platform/platform_binder.h"
#include "rt/runtime.h"

namespace {

const char* const kUsage =
    "usage: mobiapp.exe [COMMANDLINE...]\n"
    "\n"
    "Starts the test application: its frame window opens; the menu item \"tset\"\n"
    "opens the message test window, which drives the SMS device library\n"
    "ProjSmsDLL.dll.\n"
    "\n"
    "COMMANDLINE is handed to the application's open event (which ignores it).\n"
    "\n"
    "ProjSmsDLL.dll is looked for in the directories of MOBIRT_LIBRARY_PATH\n"
    "(separated by ';'), then in this program's directory, then where the\n"
    "system looks for libraries.\n";

}  // namespace

int main(int argc, char** argv) {
  std::string commandline;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "/?")) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (!commandline.empty()) commandline += ' ';
    commandline += argv[i];
  }
  rt::Win32Backend ui;
  rt::PlatformBinder binder;
  rt::Runtime runtime(ui, binder);
  mobiapp::define_classes(runtime);
  if (runtime.start("mobi", commandline) == rt::Outcome::Failed && !runtime.running()) {
    std::fputs("mobiapp: the application mobi could not start\n", stderr);
    MessageBoxW(nullptr, L"The application mobi could not start.", L"mobiapp", MB_OK);
    return 1;
  }
  return ui.exec();
}

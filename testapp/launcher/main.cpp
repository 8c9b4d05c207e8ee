// mobiapp: starts the runtime, with its windows on the screen, on the
// application library of the test application.
#include <QApplication>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "backend/qt/qt_backend.h"
#include "mobi/version.h"
#include "platform/posix/app_loader.h"
#include "platform/posix/dl_binder.h"
#include "rt/runtime.h"

namespace {

const char* const kUsage =
    "usage: mobiapp [--app LIBRARY] [COMMANDLINE...]\n"
    "\n"
    "Starts the test application: its frame window opens; the menu item \"tset\"\n"
    "opens the message test window, which drives the SMS device library\n"
    "ProjSmsDLL.dll.\n"
    "\n"
    "  --app LIBRARY  the application library to run (default: libmobiapp.so in\n"
    "                 the lib directory beside this program's directory)\n"
    "  --help         this text\n"
    "  --version      the version\n"
    "\n"
    "COMMANDLINE is handed to the application's open event (which ignores it).\n"
    "\n"
    "The device library is looked for as libProjSmsDLL.so in the directories of\n"
    "MOBIRT_LIBRARY_PATH (colon-separated), then in this program's directory,\n"
    "then in the lib directory beside it.\n";

std::filesystem::path own_dir() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path(".") : exe.parent_path();
}

}  // namespace

int main(int argc, char** argv) {
  std::string app_path = (own_dir().parent_path() / "lib" / "libmobiapp.so").string();
  std::string commandline;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (!std::strcmp(argv[i], "--version")) {
      std::printf("mobiapp %s\n", MOBI_VERSION_STRING);
      return 0;
    }
    if (!std::strcmp(argv[i], "--app")) {
      if (++i == argc) {
        std::fputs("mobiapp: --app needs a library file\n", stderr);
        return 2;
      }
      app_path = argv[i];
      continue;
    }
    if (!commandline.empty()) commandline += ' ';
    commandline += argv[i];
  }

  rt::AppLoader loader;
  const rt::AppLibrary* lib = loader.load(app_path);
  if (!lib) {
    std::fprintf(stderr, "mobiapp: %s\n", loader.error().c_str());
    return 1;
  }

  rt::QtApp qt;  // Qt gets no options of ours
  rt::QtBackend ui;
  rt::DlBinder binder;
  rt::Runtime runtime(ui, binder);
  lib->define_classes(runtime);
  if (runtime.start(lib->app_class, commandline) == rt::Outcome::Failed && !runtime.running()) {
    std::fprintf(stderr, "mobiapp: the application %s could not start\n", lib->app_class);
    return 1;
  }
  return ui.exec();
}

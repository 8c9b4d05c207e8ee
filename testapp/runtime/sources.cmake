# The runtime's source lists, relative to this folder (which is also the
# include root: "rt/runtime.h", "platform/posix/dl_binder.h",
# "backend/qt/qt_backend.h"): the runtime's own build and the bench's
# stand-alone host build (testapp/qualify) use them.
set(mobirt_core_sources
  core/errors.cpp
  core/file_binder.cpp
  core/guarded_buffer.cpp
  core/object.cpp
  core/runtime.cpp
  core/text.cpp
)
# The platform services that the core itself uses, built into it.
set(mobirt_core_posix_sources
  platform/posix/code_page.cpp
  platform/posix/guard_pages.cpp
)
set(mobirt_core_win32_sources
  platform/win32/code_page.cpp
  platform/win32/guard_pages.cpp
  platform/win32/wide_text.cpp
)
set(mobirt_posix_sources
  platform/posix/app_loader.cpp
  platform/posix/dl_binder.cpp
)
set(mobirt_win32_sources
  platform/win32/win_binder.cpp
)
set(mobirt_headless_sources backend/headless/headless.cpp)

// POSIX builds: lets a client's own event loop (Qt, GLib, asio, poll) know
// when the component has something to do.
#pragma once

#include "mobi/export.h"

namespace mobi {

// A file descriptor that becomes readable whenever mobi::DoEvents() has work
// (received bytes, a quiet-gap timer that ran out). The client polls it for
// reading and calls DoEvents() on the objects' thread when it is ready. The
// descriptor belongs to the component: do not read from or close it.
MOBI_API int EventFd();

}  // namespace mobi

// A switch for benchmarks only: how a waiting call's 10 ms steps end.
#pragma once

#include "mobi/export.h"

namespace mobi {

// true (the default): a step ends as soon as a reply has been handled.
// false: every step sleeps its whole 10 ms and only then handles what came,
// the way a plain sleep-then-process loop behaves. The counted milliseconds
// are the same either way; only the latency differs.
MOBI_API void SetWaitStepEarlyEnd(bool early);

}  // namespace mobi

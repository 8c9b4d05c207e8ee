// A switch for benchmarks only: how a waiting call sleeps.
#pragma once

#include "mobi/export.h"

namespace mobi {

// true (the default): a wait sleeps until the first handled reply or the end
// of its budget. false: it runs in 10 ms steps, each sleeping its whole 10 ms
// and only then handling what came, the way a plain sleep-then-process loop
// behaves. The counted milliseconds are the same either way; only latency,
// wake-ups and processor time differ.
MOBI_API void SetWaitStepEarlyEnd(bool early);

}  // namespace mobi

// The calls child: makes a scenario's calls through a device library the way
// the test application does (the runtime's outside-function declarations,
// 500-space by-reference buffers in guarded memory, texts converted to GBK by
// the runtime) and writes one JSON result line per call.
#pragma once

#include <iosfwd>
#include <string>

namespace qualify {

struct CallsOptions {
  std::string library;  // the file the declarations name ("ProjSmsDLL.dll" or a path)
  int port = 1;
};

// Reads the calls, one JSON object per line, from `in` up to its end, and
// makes each as soon as its line has come, writing its result line to `out`
// when the call returns (so the bench knows what happened before each call). Returns 0 when every
// call could be made, 3 when a runtime error (a missing library or entry, a broken buffer) ended
// the calls, 2 when the input is not a list of calls.
int run_calls(std::istream& in, std::ostream& out, std::ostream& err, const CallsOptions& options);

}  // namespace qualify

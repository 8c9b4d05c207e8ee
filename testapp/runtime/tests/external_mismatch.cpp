// Declarations whose code does not match the C++ signature: each case must
// fail to compile with the message that names the mismatch.
#include "rt/external.h"

using namespace rt;

#if defined(CASE_count)
inline constexpr External<"BLLRS", bool(Long, Text&)> f{"x.dll", "f"};
#elif defined(CASE_kinds)
inline constexpr External<"BLLRS", bool(Long, Long&, Text&)> f{"x.dll", "f"};
#elif defined(CASE_result)
inline constexpr External<"LRS", bool(Text&)> f{"x.dll", "f"};
#endif

// Instantiates the class, which runs the checks.
bool use(Runtime& rt, Long a, Long b, Text& t) {
#if defined(CASE_count)
  return f(rt, a, t) && b;
#elif defined(CASE_kinds)
  return f(rt, a, b, t);
#else
  return f(rt, t) && a && b;
#endif
}

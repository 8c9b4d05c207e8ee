#include "calls.h"

#include <chrono>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "backend/headless/headless.h"
#include "json.h"
#include "platform/platform_binder.h"
#include "rt/external.h"
#include "rt/runtime.h"
#include "rt/text.h"
#include "scenario.h"

namespace qualify {

namespace {

using rt::Long;
using rt::Text;

// The message service centre number the application passes to open and send.
constexpr const char* kCentre = "8613800290500";

// The device library's five entries, declared as the application declares
// them, for the library file given on the command line.
struct Entries {
  explicit Entries(std::string_view file)
      : open{file, "hs_open_device"},
        close{file, "hs_close_device"},
        fetch{file, "hs_get_onemessage"},
        send{file, "hs_send_onemessage"},
        form{file, "DLLFormShow"} {}
  rt::External<"BLLLSRLRS", bool(Long, Long, Long, const Text&, Long&, Text&)> open;
  rt::External<"BLLRS", bool(Long, Long, Text&)> close;
  rt::External<"BRSRSRSRSRS", bool(Text&, Text&, Text&, Text&, Text&)> fetch;
  rt::External<"BSSSLRS", bool(const Text&, const Text&, const Text&, Long, Text&)> send;
  rt::External<"BRS", bool(Text&)> form;
};

}  // namespace

int run_calls(std::istream& in, std::ostream& out, std::ostream& err, const CallsOptions& options) {
  rt::HeadlessBackend backend;
  rt::PlatformBinder binder;
  rt::Runtime runtime(backend, binder);
  const std::string file = options.library;
  Entries entries(file);
  Long device = 0;  // the handle the open wrote, kept for the close as the window keeps it

  for (std::string line; std::getline(in, line);) {
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    json::Value call;
    try {
      call = json::parse(line);
    } catch (const json::ParseError& e) {
      err << "mobiapp-qualify: a call that is no JSON: " << e.what() << "\n";
      return 2;
    }
    CallResult r;
    r.call = call.str("call");
    const auto started = std::chrono::steady_clock::now();
    try {
      Text error = rt::spaces(500);
      if (r.call == "open") {
        r.result = entries.open(runtime, 0, options.port, static_cast<Long>(call.num("baud", 9600)),
                                rt::utf8_to_gbk(call.str("csca", kCentre)), device, error);
      } else if (r.call == "close") {
        r.result = entries.close(runtime, options.port, device, error);
      } else if (r.call == "send") {
        r.result = entries.send(
            runtime, rt::utf8_to_gbk(call.str("csca", kCentre)), rt::utf8_to_gbk(call.str("text")),
            rt::utf8_to_gbk(call.str("number")), static_cast<Long>(call.num("mode", 1)), error);
      } else if (r.call == "fetch") {
        Text message = rt::spaces(500), sent = rt::spaces(500), received = rt::spaces(500),
             sender = rt::spaces(500);
        r.result = entries.fetch(runtime, message, sent, received, sender, error);
        r.message = message;
        r.sent_time = sent;
        r.received_time = received;
        r.sender = sender;
      } else if (r.call == "form") {
        Text empty;  // no room: the library must leave it alone
        r.result = entries.form(runtime, empty);
        error.clear();
      } else {
        err << "mobiapp-qualify: unknown call \"" << r.call << "\"\n";
        return 2;
      }
      r.error = error;
    } catch (const rt::RuntimeError& e) {
      r.runtime_error = static_cast<int>(e.code());
      r.detail = std::string(rt::describe(e.code())) + ": " + e.detail();
    }
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    out << write_call_result(r) << std::endl;
    if (r.runtime_error) return 3;
  }
  return 0;
}

}  // namespace qualify

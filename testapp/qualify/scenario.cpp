#include "scenario.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <optional>
#include <stdexcept>
#include <tuple>

#include "rt/text.h"

namespace qualify {

namespace {

std::string trim(std::string_view s) {
  auto b = s.find_first_not_of(" \t\r\n");
  if (b == std::string_view::npos) return {};
  auto e = s.find_last_not_of(" \t\r\n");
  return std::string(s.substr(b, e - b + 1));
}

std::string shown(std::string_view utf8, std::size_t max = 60) {
  std::string s(utf8);
  if (s.size() > max) {
    std::size_t cut = max;
    while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;
    s = s.substr(0, cut) + "...";
  }
  return "\"" + s + "\"";
}

const char* entry_of(const std::string& call) {
  if (call == "open") return "hs_open_device";
  if (call == "close") return "hs_close_device";
  if (call == "send") return "hs_send_onemessage";
  if (call == "fetch") return "hs_get_onemessage";
  if (call == "form") return "DLLFormShow";
  return "?";
}

}  // namespace

Scenario parse_scenario(const json::Value& o) {
  if (o.type() != json::Value::Type::Object) throw std::runtime_error("a scenario is no object");
  Scenario s;
  s.name = o.str("name");
  if (s.name.empty()) throw std::runtime_error("a scenario without a name");
  s.description = o.str("description");
  s.source = o.str("source");
  s.applies = o.flag("applies", true);
  s.delay = o.num("delay", 0);
  s.any_order = o.flag("any_order", false);
  for (const auto& c : o["calls"].items()) {
    Call call;
    call.call = c.str("call");
    if (call.call != "open" && call.call != "send" && call.call != "fetch" &&
        call.call != "close" && call.call != "form")
      throw std::runtime_error("scenario " + s.name + ": unknown call \"" + call.call + "\"");
    const std::string expect = c.str("expect", "ok");
    if (expect != "ok" && expect != "fail")
      throw std::runtime_error("scenario " + s.name + ": expect \"" + expect + "\"");
    call.expect_ok = expect == "ok";
    call.number = c.str("number");
    call.text = c.str("text");
    call.or_text = c.str("or_text");
    call.mode = static_cast<long>(c.num("mode", 1));
    call.sender = c.str("sender");
    call.time = c.str("time");
    call.raw = c;
    s.calls.push_back(std::move(call));
  }
  return s;
}

std::vector<Scenario> parse_scenarios(std::string_view lines) {
  std::vector<Scenario> out;
  std::size_t n = 0;
  while (!lines.empty()) {
    auto end = lines.find('\n');
    auto line = lines.substr(0, end);
    lines.remove_prefix(end == std::string_view::npos ? lines.size() : end + 1);
    ++n;
    if (trim(line).empty()) continue;
    try {
      out.push_back(parse_scenario(json::parse(line)));
    } catch (const std::exception& e) {
      throw std::runtime_error("scenario list line " + std::to_string(n) + ": " + e.what());
    }
  }
  return out;
}

double call_bound(const Scenario& scenario, double delay_scale) {
  return 20.0 + scenario.delay * delay_scale * 2.0;
}

std::string to_hex(std::string_view bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (char c : bytes) {
    auto u = static_cast<unsigned char>(c);
    out += digits[u >> 4];
    out += digits[u & 15];
  }
  return out;
}

std::string from_hex(std::string_view hex) {
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    throw std::runtime_error("not hex");
  };
  if (hex.size() % 2) throw std::runtime_error("odd hex length");
  std::string out;
  for (std::size_t i = 0; i < hex.size(); i += 2)
    out += static_cast<char>(nibble(hex[i]) * 16 + nibble(hex[i + 1]));
  return out;
}

CallResult parse_call_result(const json::Value& v) {
  CallResult r;
  r.call = v.str("call");
  r.result = v.flag("result");
  r.runtime_error = static_cast<int>(v.num("runtime_error", 0));
  r.detail = v.str("detail");
  r.error = from_hex(v.str("error"));
  r.message = from_hex(v.str("messages"));
  r.sent_time = from_hex(v.str("sdatetimes"));
  r.received_time = from_hex(v.str("rdatetimes"));
  r.sender = from_hex(v.str("phonenumber"));
  r.seconds = v.num("seconds");
  return r;
}

std::string write_call_result(const CallResult& r) {
  using json::quote;
  std::string out = "{\"call\":" + quote(r.call) + ",\"result\":" + (r.result ? "true" : "false");
  if (r.runtime_error)
    out += ",\"runtime_error\":" + std::to_string(r.runtime_error) +
           ",\"detail\":" + quote(rt::gbk_to_utf8(r.detail));
  out += ",\"error\":\"" + to_hex(r.error) + "\"";
  if (r.call == "fetch") {
    out += ",\"messages\":\"" + to_hex(r.message) + "\",\"sdatetimes\":\"" + to_hex(r.sent_time) +
           "\",\"rdatetimes\":\"" + to_hex(r.received_time) + "\",\"phonenumber\":\"" +
           to_hex(r.sender) + "\"";
  }
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.3f", r.seconds);
  return out + ",\"seconds\":" + seconds + "}";
}

// ---- time stamps ------------------------------------------------------------

bool parse_modem_stamp(std::string_view t, Stamp& s) {
  int yy, mo, dd, hh, mi, ss, zz;
  char sign;
  std::string text(t);
  if (std::sscanf(text.c_str(), "%2d/%2d/%2d,%2d:%2d:%2d%c%2d", &yy, &mo, &dd, &hh, &mi, &ss, &sign,
                  &zz) != 8 ||
      (sign != '+' && sign != '-'))
    return false;
  s = {2000 + yy, mo, dd, hh, mi, ss, true, (sign == '-' ? -1 : 1) * zz * 15};
  return true;
}

bool parse_library_stamp(std::string_view t, Stamp& s) {
  struct Group {
    int value;
    std::size_t digits;
    std::size_t end;
  };
  std::vector<Group> g;
  for (std::size_t i = 0; i < t.size();) {
    if (!std::isdigit(static_cast<unsigned char>(t[i]))) {
      ++i;
      continue;
    }
    std::size_t b = i;
    int v = 0;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])) && i - b < 6)
      v = v * 10 + (t[i++] - '0');
    g.push_back({v, i - b, i});
  }
  if (g.size() < 6) return false;
  auto year = [](const Group& x) { return x.digits == 4 ? x.value : 2000 + x.value; };
  if (g[2].digits == 4 && g[0].digits != 4) {
    s = {year(g[2]), g[1].value, g[0].value, g[3].value, g[4].value, g[5].value, false, 0};
  } else {
    s = {year(g[0]), g[1].value, g[2].value, g[3].value, g[4].value, g[5].value, false, 0};
  }
  // A zone: a sign right after the seconds (blanks allowed), then digits.
  std::size_t i = g[5].end;
  while (i < t.size() && t[i] == ' ') ++i;
  if (i < t.size() && (t[i] == '+' || t[i] == '-') && g.size() >= 7 && g[6].end > i + 1 &&
      g[6].end - g[6].digits == i + 1) {
    int sign = t[i] == '-' ? -1 : 1;
    const Group& z = g[6];
    if (z.digits == 4) {
      s.zone_minutes = sign * (z.value / 100 * 60 + z.value % 100);
    } else if (g.size() >= 8 && g[7].end - g[7].digits == z.end + 1 && t[z.end] == ':') {
      s.zone_minutes = sign * (z.value * 60 + g[7].value);
    } else {
      s.zone_minutes = sign * z.value * 15;  // quarter hours, as the network gives them
    }
    s.has_zone = true;
  }
  return true;
}

// ---- judging ------------------------------------------------------------------

namespace {

struct Message {
  std::string number;
  std::string text;  // UTF-8 as the modem decoded it
};

// The whole messages the modem received, in order; parts joined. Problems
// (a part sent twice) are added to `problems`.
std::vector<Message> assemble(const std::vector<json::Value>& record,
                              std::vector<std::string>& problems) {
  struct Group {
    std::map<long, std::string> parts;
    long total;
  };
  std::map<std::tuple<std::string, long, long>, Group> open;
  std::vector<Message> out;
  for (const auto& e : record) {
    if (e.str("event") != "sent") continue;
    const std::string number = trim(e.str("number"));
    const long parts = static_cast<long>(e.num("parts", 1));
    const long part = static_cast<long>(e.num("part", 1));
    const long concat = static_cast<long>(e.num("concat", 0));
    if (parts <= 1 || concat == 0) {
      out.push_back({number, e.str("text")});
      continue;
    }
    auto key = std::make_tuple(number, concat, parts);
    Group& group = open[key];
    group.total = parts;
    if (group.parts.count(part)) {
      problems.push_back("part " + std::to_string(part) + " of " + std::to_string(parts) +
                         " of the message to " + number + " (reference " + std::to_string(concat) +
                         ") was sent twice");
      continue;
    }
    group.parts[part] = e.str("text");
    if (static_cast<long>(group.parts.size()) == parts) {
      std::string text;
      for (const auto& [k, t] : group.parts) text += t;
      out.push_back({number, text});
      open.erase(key);
    }
  }
  return out;
}

bool same_stamp(const Stamp& want, const Stamp& got) {
  return want.year == got.year && want.month == got.month && want.day == got.day &&
         want.hour == got.hour && want.minute == got.minute && want.second == got.second &&
         (!got.has_zone || got.zone_minutes == want.zone_minutes);
}

// Why a fetched message differs from the injected one; empty when it does not.
std::string fetch_difference(const Call& want, const CallResult& got) {
  std::vector<std::string> diffs;
  if (got.message != rt::utf8_to_gbk(want.text) &&
      (want.or_text.empty() || got.message != rt::utf8_to_gbk(want.or_text)))
    diffs.push_back("text " + shown(rt::gbk_to_utf8(got.message)) + ", injected " +
                    shown(want.text));
  if (trim(rt::gbk_to_utf8(got.sender)) != trim(want.sender))
    diffs.push_back("sender " + shown(rt::gbk_to_utf8(got.sender)) + ", injected " +
                    shown(want.sender));
  if (!want.time.empty()) {
    Stamp w, g;
    const std::string got_time = rt::gbk_to_utf8(got.sent_time);
    if (!parse_modem_stamp(want.time, w)) {
      diffs.push_back("the scenario's time stamp " + shown(want.time) + " is malformed");
    } else if (!parse_library_stamp(got_time, g) || !same_stamp(w, g)) {
      diffs.push_back("time stamp " + shown(got_time) + ", injected " + shown(want.time));
    }
  }
  std::string out;
  for (const auto& d : diffs) out += (out.empty() ? "" : ", ") + d;
  return out;
}

}  // namespace

std::vector<std::string> judge(const Scenario& sc, const RunOutcome& run) {
  std::vector<std::string> problems;
  auto name = [&](std::size_t i) {
    return "call " + std::to_string(i + 1) + " (" + sc.calls[i].call + ", " +
           entry_of(sc.calls[i].call) + ")";
  };

  // Each call: it returned, made no runtime error, and its result and error
  // text are as expected.
  for (std::size_t i = 0; i < sc.calls.size(); ++i) {
    const Call& c = sc.calls[i];
    if (i >= run.results.size()) {
      problems.push_back(name(i) + ": " +
                         (run.stopped.empty() ? std::string("no result") : run.stopped));
      break;
    }
    const CallResult& r = run.results[i];
    if (r.runtime_error) {
      problems.push_back(name(i) + " raised runtime error " + std::to_string(r.runtime_error) +
                         ": " + r.detail);
      break;  // it ended the calls
    }
    if (c.call == "form") continue;  // nothing of it is judged beyond the runtime's checks
    const std::string error = rt::gbk_to_utf8(r.error);
    if (r.result != c.expect_ok) {
      problems.push_back(name(i) + " returned " + (r.result ? "true" : "false") + ", expected " +
                         (c.expect_ok ? "ok" : "fail") +
                         (error.empty() ? std::string() : " (" + shown(error, 200) + ")"));
    } else if (r.result && !r.error.empty()) {
      problems.push_back(name(i) + " succeeded with the error text " + shown(error));
    } else if (!r.result && trim(r.error).empty()) {
      problems.push_back(name(i) + " failed without an error text" +
                         (r.error.empty() ? "" : " (the buffer was left blank)"));
    }
  }
  if (problems.empty() && !run.stopped.empty() && run.results.size() >= sc.calls.size())
    problems.push_back(run.stopped);  // e.g. the child died after its last call
  if (!run.record_problem.empty()) {
    problems.push_back(run.record_problem);
    return problems;
  }

  // What the modem received: every message asked for, whole and once.
  std::vector<Message> received = assemble(run.record, problems);
  struct Asked {
    std::size_t call;
    Message message;
    bool required;  // the send returned true
  };
  std::vector<Asked> asked;
  for (std::size_t i = 0; i < sc.calls.size() && i < run.results.size(); ++i) {
    const Call& c = sc.calls[i];
    if (c.call != "send") continue;
    // The message as the application could hand it over (a character GBK
    // lacks is '?' already in the application's text).
    asked.push_back(
        {i, {trim(c.number), rt::gbk_to_utf8(rt::utf8_to_gbk(c.text))}, run.results[i].result});
  }
  std::vector<bool> matched(asked.size(), false);
  std::size_t next = 0;
  for (const auto& m : received) {
    bool found = false;
    for (std::size_t k = next; k < asked.size(); ++k) {
      if (!matched[k] && asked[k].message.number == m.number && asked[k].message.text == m.text) {
        matched[k] = true;
        next = k + 1;
        found = true;
        break;
      }
    }
    if (found) continue;
    bool twice = std::any_of(asked.begin(), asked.end(), [&](const Asked& a) {
      return a.message.number == m.number && a.message.text == m.text;
    });
    problems.push_back(twice ? "the message " + shown(m.text) + " to " + m.number +
                                   " reached the modem twice"
                             : "the modem received " + shown(m.text) + " to " + m.number +
                                   ", which no call asked for");
  }
  for (std::size_t k = 0; k < asked.size(); ++k) {
    if (asked[k].required && !matched[k])
      problems.push_back(name(asked[k].call) + " returned true, but the modem did not receive " +
                         shown(asked[k].message.text) + " to " + asked[k].message.number +
                         " whole");
  }

  // What was fetched: the injected messages, in order unless any order is allowed.
  std::vector<std::size_t> wanted;  // fetch calls expecting a message
  for (std::size_t i = 0; i < sc.calls.size(); ++i)
    if (sc.calls[i].call == "fetch" && sc.calls[i].expect_ok) wanted.push_back(i);
  std::vector<bool> used(sc.calls.size(), false);
  for (std::size_t i = 0; i < sc.calls.size() && i < run.results.size(); ++i) {
    const CallResult& r = run.results[i];
    if (sc.calls[i].call != "fetch" || !r.result || !sc.calls[i].expect_ok || r.runtime_error)
      continue;
    if (!sc.any_order) {
      std::string diff = fetch_difference(sc.calls[i], r);
      if (!diff.empty()) problems.push_back(name(i) + " fetched " + diff);
      continue;
    }
    auto it = std::find_if(wanted.begin(), wanted.end(), [&](std::size_t w) {
      return !used[w] && fetch_difference(sc.calls[w], r).empty();
    });
    if (it == wanted.end()) {
      problems.push_back(name(i) + " fetched " + shown(rt::gbk_to_utf8(r.message)) + " from " +
                         rt::gbk_to_utf8(r.sender) + ", which is none of the injected messages");
    } else {
      used[*it] = true;
    }
  }

  // Nothing stored is deleted before a fetch returned it.
  for (std::size_t line = 0; line < run.record.size(); ++line) {
    const auto& e = run.record[line];
    if (e.str("event") != "deleted") continue;
    const std::string number = trim(e.str("number"));
    const std::string part = rt::utf8_to_gbk(e.str("text"));
    bool returned = false;
    for (std::size_t i = 0; i < run.results.size() && !returned; ++i) {
      const CallResult& r = run.results[i];
      if (sc.calls[i].call != "fetch" || !r.result) continue;
      // Only a fetch made before the deletion was recorded counts.
      const bool by_then = r.record_events <= line;
      // A message returned in another form that is as right (8-bit data in
      // hex) counts as the injected text.
      const bool other_form =
          !sc.calls[i].or_text.empty() && r.message == rt::utf8_to_gbk(sc.calls[i].or_text);
      returned =
          by_then && trim(rt::gbk_to_utf8(r.sender)) == number &&
          (r.message.find(part) != std::string::npos ||
           (other_form && rt::utf8_to_gbk(sc.calls[i].text).find(part) != std::string::npos));
    }
    if (!returned)
      problems.push_back("the stored message from " + number + " " + shown(e.str("text")) + " (" +
                         e.str("memory") + " " + std::to_string(static_cast<long>(e.num("index"))) +
                         ") was deleted before a fetch returned it");
  }
  return problems;
}

}  // namespace qualify

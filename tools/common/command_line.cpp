#include "common/command_line.h"

#include <getopt.h>

#include <exception>

namespace mobi::cmdline {

namespace {

// getopt_long returns a long option as kLongBase + its index in the table,
// so that every entry is told apart even where short names are missing.
constexpr int kLongBase = 256;

std::string LongName(const Option& o) {
  return "--" + o.name;
}

// The long options that `text` ("--nam" or "--nam=value") could abbreviate.
std::vector<std::string> Candidates(const std::string& text, const std::vector<Option>& options) {
  const std::string name = text.substr(2, text.find('=') - 2);
  std::vector<std::string> out;
  for (const Option& o : options)
    if (o.name.compare(0, name.size(), name) == 0) out.push_back(LongName(o));
  return out;
}

}  // namespace

Option Flag(std::string name, char short_name, std::function<void()> apply) {
  return {std::move(name), short_name, false,
          [apply = std::move(apply)](const std::string&) { apply(); }};
}

Option Value(std::string name, char short_name, std::function<void(const std::string&)> apply) {
  return {std::move(name), short_name, true, std::move(apply)};
}

std::vector<std::string> Parse(const std::vector<std::string>& args,
                               const std::vector<Option>& options) {
  // "-": operands come back in order as code 1 (whatever POSIXLY_CORRECT
  // says); ":": no messages from getopt, code ':' for a missing value.
  std::string shorts = "-:";
  std::vector<option> longs;
  for (size_t i = 0; i < options.size(); ++i) {
    const Option& o = options[i];
    if (o.short_name) shorts += std::string(1, o.short_name) + (o.takes_value ? ":" : "");
    longs.push_back({o.name.c_str(), o.takes_value ? required_argument : no_argument, nullptr,
                     kLongBase + static_cast<int>(i)});
  }
  longs.push_back({nullptr, 0, nullptr, 0});

  std::vector<std::string> storage(1, "mobi");
  storage.insert(storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : storage) argv.push_back(s.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(storage.size());

  auto by_code = [&](int code) -> const Option* {
    if (code >= kLongBase && code - kLongBase < static_cast<int>(options.size()))
      return &options[code - kLongBase];
    for (const Option& o : options)
      if (o.short_name && o.short_name == code) return &o;
    return nullptr;
  };

  std::vector<std::string> operands;
  std::exception_ptr first_error;
  auto fail = [&](std::exception_ptr e) {
    if (!first_error) first_error = e;
  };
  optind = 0;  // a full restart of getopt's scan
  opterr = 0;
  for (int code;
       (code = getopt_long(argc, argv.data(), shorts.c_str(), longs.data(), nullptr)) != -1;) {
    if (code == 1) {
      operands.push_back(optarg);
    } else if (code == ':') {
      const Option* o = by_code(optopt);
      fail(std::make_exception_ptr(UsageError(LongName(*o) + ": missing value")));
    } else if (code == '?') {
      if (const Option* o = by_code(optopt); o && optopt >= kLongBase) {
        fail(std::make_exception_ptr(UsageError(LongName(*o) + ": takes no value")));
      } else if (optopt != 0) {
        fail(std::make_exception_ptr(UnknownOption(
            "unknown option \"-" + std::string(1, static_cast<char>(optopt)) + "\"")));
      } else {
        const std::string text = argv[optind - 1];
        const std::vector<std::string> candidates = Candidates(text, options);
        std::string message = "unknown option \"" + text.substr(0, text.find('=')) + "\"";
        if (candidates.size() > 1) {
          message = "ambiguous option \"" + text.substr(0, text.find('=')) + "\" (";
          for (size_t i = 0; i < candidates.size(); ++i) message += (i ? ", " : "") + candidates[i];
          message += ")";
        }
        fail(std::make_exception_ptr(UnknownOption(message)));
      }
    } else if (const Option* o = by_code(code)) {
      try {
        o->apply(o->takes_value ? std::string(optarg) : std::string());
      } catch (const std::exception&) {
        fail(std::current_exception());
      }
    }
  }
  for (int i = optind; i < argc; ++i) operands.push_back(argv[i]);
  if (first_error) std::rethrow_exception(first_error);
  return operands;
}

}  // namespace mobi::cmdline

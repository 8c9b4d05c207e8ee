// The line's facts for tools, from the same code the component runs.
#include "mobi/line.h"

#include "frmSMS.h"
#include "settings.h"

namespace mobi::line {

Settings ParseSettings(const std::string& settings) {
  return core::ParseSettings(std::u16string(settings.begin(), settings.end()));
}

Gaps QuietGaps(const Settings& settings, std::chrono::nanoseconds forwarding) {
  const core::QuietGaps gaps = core::QuietGapsOf(settings, forwarding);
  return {gaps.whole, gaps.other};
}

std::optional<Gaps> OpenPortGaps() {
  const auto form = core::frmSMS::Current();
  if (!form || !form->MSComm1().PortOpen()) return std::nullopt;
  const core::QuietGaps gaps = form->MSComm1().Gaps();
  return Gaps{gaps.whole, gaps.other};
}

bool IsWholeReply(const std::vector<uint8_t>& received, const std::u16string& destination) {
  return core::frmSMS::IsWholeReply(received, destination);
}

std::size_t WholeReplyLength(const std::vector<uint8_t>& received,
                             const std::u16string& destination) {
  return core::frmSMS::WholeReplyLength(received, destination);
}

std::chrono::nanoseconds GapFor(const Gaps& gaps, const std::vector<uint8_t>& received,
                                const std::u16string& destination) {
  const core::QuietGaps rule{gaps.whole, gaps.other};
  return rule.For(WholeReplyLength(received, destination), received.size());
}

std::optional<Error> LastInitializeFailure() {
  const auto form = core::frmSMS::Current();
  if (!form) return std::nullopt;
  return form->initializeFailure;
}

}  // namespace mobi::line

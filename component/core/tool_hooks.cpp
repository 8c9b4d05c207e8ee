// The line's facts for tools, from the same code the component runs.
#include "internal/tool_hooks.h"

#include "core/frmSMS.h"
#include "core/protocol.h"
#include "core/serial_control_base.h"

namespace mobi::line {

Settings ParseSettings(const std::string& settings) {
  return core::ParseSettings(std::u16string(settings.begin(), settings.end()));
}

std::optional<Gaps> OpenPortGaps() {
  const auto form = core::frmSMS::Current();
  if (!form || !form->MSComm1().PortOpen()) return std::nullopt;
  return form->MSComm1().Gaps();
}

core::ReplyAssembler ReplyAssemblerFor(Gaps gaps, std::u16string destination) {
  struct Owned {
    explicit Owned(std::u16string d) : destination(std::move(d)) {}
    std::u16string destination;
    core::protocol::Rules rules{core::PlatformHost().Ansi(), destination};
  };
  auto owned = std::make_shared<Owned>(std::move(destination));
  return core::ReplyAssembler(gaps, core::SerialControlBase::kInBufferSize,
                              [owned](std::span<const uint8_t> received) {
                                return owned->rules.WholeReplyLength(received);
                              });
}

std::optional<Error> LastInitializeFailure() {
  const auto form = core::frmSMS::Current();
  if (!form) return std::nullopt;
  return form->initializeFailure;
}

}  // namespace mobi::line

#include "core/frmSMS.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "core/modMain.h"

namespace mobi::core {
namespace {

std::shared_ptr<frmSMS>& Instance() {
  static std::shared_ptr<frmSMS> instance;
  return instance;
}

std::vector<std::weak_ptr<MobiErrorListener>>& Listeners() {
  static std::vector<std::weak_ptr<MobiErrorListener>> listeners;
  return listeners;
}

std::u16string Decimal(unsigned value) {
  std::u16string out;
  for (char c : std::to_string(value)) out += static_cast<char16_t>(c);
  return out;
}

}  // namespace

frmSMS::frmSMS(std::unique_ptr<SerialControl> control)
    : rules_(PlatformHost().Ansi(), state_->strSendTel), MSComm1_(std::move(control)) {
  MSComm1_->rules = &rules_;
}

frmSMS::~frmSMS() {
  MSComm1_.reset();  // before the rules it reads
}

std::shared_ptr<frmSMS> frmSMS::Load() {
  auto& instance = Instance();
  if (!instance) {
    auto form = std::make_shared<frmSMS>(PlatformHost().CreateSerialControl());
    form->MSComm1_->OnComm = [weak = std::weak_ptr<frmSMS>(form)] {
      if (auto self = weak.lock()) self->MSComm1_OnComm();
    };
    instance = std::move(form);
  }
  return instance;
}

std::shared_ptr<frmSMS> frmSMS::Current() {
  return Instance();
}

void frmSMS::Unload() {
  // Moved out first, so that the shared slot is empty before the form's
  // destruction (which closes the port) runs.
  auto dropped = std::exchange(Instance(), nullptr);
}

void frmSMS::Subscribe(const std::shared_ptr<MobiErrorListener>& listener) {
  auto& all = Listeners();
  std::erase_if(all, [](const auto& l) { return l.expired(); });
  all.push_back(listener);
}

void frmSMS::Unsubscribe(const MobiErrorListener* listener) {
  std::erase_if(Listeners(), [listener](const auto& l) {
    auto locked = l.lock();
    return !locked || locked.get() == listener;
  });
}

void frmSMS::MSComm1_OnComm() {
  // The form and its state stay alive until the handler returns, even if an
  // SMSError handler releases the last object meanwhile.
  auto self = shared_from_this();
  modMain::State& state = *state_;
  if (MSComm1_->InBufferCount() == 0) return;
  state.bytRecv = MSComm1_->Input();
  if (state.bytRecv.size() < 2) return;
  // The reply text: the chunk's characters from the third on.
  const auto replyText = [&state] {
    const std::u16string text = modMain::BytesToText(state.bytRecv);
    return text.size() > 2 ? text.substr(2) : std::u16string();
  };
  switch (state.bytRecv[1]) {
    case protocol::kReplyError:
      state.strReply = replyText();
      MobiError(state.strReply);
      break;
    case protocol::kReplyStatus: {
      const std::u16string text = replyText();
      GetSMSStatus(text);
      // A report no send waits for any more: its subscribers follow the
      // message to its end.
      if (!state.sending)
        if (const auto report = protocol::DeliveryReportOf(text)) DeliveryReport(*report);
      break;
    }
    case protocol::kReplyText:
      state.strReply = replyText();
      break;
    case protocol::kReplyLevel:
      if (state.bytRecv.size() < 3) return;
      state.strReply = Decimal(state.bytRecv[2]);
      break;
    default:  // kReplyDone and unknown types: nothing but the end of the wait
      break;
  }
  state.blnReceived = -1;
}

void frmSMS::GetSMSStatus(std::u16string RebackInfo) {
  if (const auto status = rules_.StatusOf(RebackInfo)) state_->lngStatus = *status;
}

void frmSMS::MobiError(const std::u16string& Message) {
  Raise([&](MobiErrorListener& l) { l.frmMain_MobiError(Message); });
}

void frmSMS::DeliveryReport(const protocol::DeliveryReport& report) {
  Raise([&](MobiErrorListener& l) { l.frmMain_DeliveryReport(report.destination, report.status); });
}

template <typename Notify>
void frmSMS::Raise(const Notify& notify) {
  // A snapshot: handlers may subscribe or release objects while this runs.
  const auto snapshot = Listeners();
  for (const auto& weak : snapshot) {
    auto listener = weak.lock();
    if (!listener) continue;
    const auto& now = Listeners();
    const bool stillSubscribed = std::any_of(now.begin(), now.end(), [&](const auto& l) {
      return !l.owner_before(weak) && !weak.owner_before(l);
    });
    if (stillSubscribed) notify(*listener);
  }
}

}  // namespace mobi::core

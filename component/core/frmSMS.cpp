#include "frmSMS.h"

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

#include "modMain.h"

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

// The reply text: the chunk's characters from the third on.
std::u16string ReplyText() {
  std::u16string text = modMain::BytesToText(modMain::bytRecv);
  return text.size() > 2 ? text.substr(2) : std::u16string();
}

std::u16string Decimal(unsigned value) {
  std::u16string out;
  for (char c : std::to_string(value)) out += static_cast<char16_t>(c);
  return out;
}

}  // namespace

frmSMS::frmSMS(std::unique_ptr<SerialControl> control) : MSComm1_(std::move(control)) {}

std::shared_ptr<frmSMS> frmSMS::Load() {
  auto& instance = Instance();
  if (!instance) {
    auto form = std::make_shared<frmSMS>(PlatformHost().CreateSerialControl());
    form->MSComm1_->OnComm = [weak = std::weak_ptr<frmSMS>(form)] {
      if (auto self = weak.lock()) self->MSComm1_OnComm();
    };
    form->MSComm1_->WholeReply = [](std::span<const uint8_t> received) {
      return WholeReplyLength(received, modMain::strSendTel);
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
  // The form stays alive until the handler returns, even if an SMSError
  // handler releases the last object meanwhile.
  auto self = shared_from_this();
  if (MSComm1_->InBufferCount() == 0) return;
  modMain::bytRecv = MSComm1_->Input();
  if (modMain::bytRecv.size() < 2) return;
  switch (modMain::bytRecv[1]) {
    case modMain::kReplyCheck:
      modMain::strReply = ReplyText();
      MobiError(modMain::strReply);
      break;
    case modMain::kReplyStatus:
      GetSMSStatus(ReplyText());
      break;
    case modMain::kReplyCentre:
      modMain::strReply = ReplyText();
      break;
    case modMain::kReplySignal:
      if (modMain::bytRecv.size() < 3) return;
      modMain::strReply = Decimal(modMain::bytRecv[2]);
      break;
    default:  // kReplyDone and unknown types: nothing but the end of the wait
      break;
  }
  modMain::blnReceived = -1;
}

bool frmSMS::IsWholeReply(std::span<const uint8_t> received, const std::u16string& sendTel) {
  if (received.size() < 2) return false;
  switch (received[1]) {
    case modMain::kReplySignal:
      return received.size() == 3;
    case modMain::kReplyDone:
      return received.size() == 2;
    case modMain::kReplyStatus:
      break;
    default:
      return false;
  }
  const std::string_view text(reinterpret_cast<const char*>(received.data()) + 2,
                              received.size() - 2);
  if (text == "OK" || text == "SEND OK" || text == "ERROR") return true;
  if (!text.starts_with("SUCCESS") && !text.starts_with("FAILURE")) return false;
  // The report counts only for a destination of at most 11 characters.
  const std::string_view named = text.substr(7);
  if (sendTel.empty() || sendTel.size() > 11 || named.size() != sendTel.size()) return false;
  const AnsiCodePage& ansi = PlatformHost().Ansi();
  for (std::size_t i = 0; i < named.size(); ++i) {
    if (ansi.CharOfByte(static_cast<uint8_t>(named[i])) != sendTel[i]) return false;
  }
  return true;
}

std::size_t frmSMS::WholeReplyLength(std::span<const uint8_t> received,
                                     const std::u16string& sendTel) {
  // A frame start inside a reply text can only be a boundary where the bytes
  // before it are a whole reply; the shortest such reply comes first. None is
  // longer than a report naming 11 characters.
  constexpr std::size_t kLongestWhole = 2 + 7 + 11;
  for (std::size_t end = 2; end < received.size() && end <= kLongestWhole; ++end) {
    if (received[end] == modMain::kFrameStart && IsWholeReply(received.first(end), sendTel)) {
      return end;
    }
  }
  return IsWholeReply(received, sendTel) ? received.size() : 0;
}

void frmSMS::GetSMSStatus(std::u16string RebackInfo) {
  if (RebackInfo == u"ERROR") {
    modMain::lngStatus = typeError;
  } else if (RebackInfo == u"OK") {
    modMain::lngStatus = typeSendOk;
  }
  const std::u16string p = RebackInfo.substr(0, 7);
  const std::u16string q = RebackInfo.size() > 7 ? RebackInfo.substr(7, 11) : std::u16string();
  if (p == u"SEND OK") {
    modMain::lngStatus = typeCenterOK;
  } else if (p == u"SUCCESS") {
    if (q == modMain::strSendTel) modMain::lngStatus = typeCustOK;
  } else if (p == u"FAILURE" && q == modMain::strSendTel) {
    modMain::lngStatus = TypeCustError;
  }
}

void frmSMS::MobiError(const std::u16string& Message) {
  // A snapshot: handlers may subscribe or release objects while this runs.
  const auto snapshot = Listeners();
  for (const auto& weak : snapshot) {
    auto listener = weak.lock();
    if (!listener) continue;
    const auto& now = Listeners();
    const bool stillSubscribed = std::any_of(now.begin(), now.end(), [&](const auto& l) {
      return !l.owner_before(weak) && !weak.owner_before(l);
    });
    if (stillSubscribed) listener->frmMain_MobiError(Message);
  }
}

}  // namespace mobi::core

// The public class clsSMS: opens the shared port, writes the request frames,
// waits for the answers and hands the results back.
#include "mobi/clsSMS.h"

#include <atomic>
#include <charconv>
#include <cmath>
#include <map>
#include <vector>

#include "core/errors.h"
#include "core/frmSMS.h"
#include "core/modMain.h"
#include "core/protocol.h"

namespace mobi {

using core::frmSMS;
using core::PlatformHost;
namespace modMain = core::modMain;
namespace protocol = core::protocol;

namespace {

// Every object alive at one time belongs to one thread: the owner.
std::atomic<uint64_t> g_ownerThread{0};
std::atomic<int> g_liveObjects{0};

void ClaimOwnership(uint64_t me) {
  uint64_t expected = 0;
  if (!g_ownerThread.compare_exchange_strong(expected, me) && expected != me) {
    core::Raise(mobi::kWrongThread,
                "another thread owns the component's live objects; create and use every "
                "clsSMS on one thread");
  }
  ++g_liveObjects;
}

void ReleaseOwnership() {
  if (--g_liveObjects == 0) g_ownerThread = 0;
}

// VB's Val for the start of a text: leading blanks skipped, an optional sign,
// digits with an optional fraction and exponent; 0 when no number begins the
// text.
double LeadingNumber(const std::u16string& text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
  std::string ascii;
  for (; i < text.size() && text[i] < 0x80; ++i) ascii += static_cast<char>(text[i]);
  bool negative = false;
  std::size_t start = 0;
  if (!ascii.empty() && (ascii[0] == '+' || ascii[0] == '-')) {
    negative = ascii[0] == '-';
    start = 1;
  }
  double value = 0;
  auto [end, ec] = std::from_chars(ascii.data() + start, ascii.data() + ascii.size(), value,
                                   std::chars_format::general);
  if (end == ascii.data() + start) return 0;  // no digits
  if (ec == std::errc::result_out_of_range) value = HUGE_VAL;
  return negative ? -value : value;
}

}  // namespace

struct clsSMS::Impl : core::MobiErrorListener {
  uint64_t thread = 0;
  bool alive = true;  // false once the object is released
  std::map<Subscription, SMSErrorHandler> handlers;
  std::map<Subscription, DeliveryReportHandler> reportHandlers;
  Subscription nextSubscription = 1;

  void CheckThread() const {
    if (PlatformHost().CurrentThread() != thread) {
      core::Raise(mobi::kWrongThread, "this clsSMS belongs to another thread");
    }
  }

  // frmMain's handlers: pass the text on to the object's clients as
  // SMSError, and a late report to the report's subscribers.
  void frmMain_MobiError(const std::u16string& Message) override { Raise(handlers, Message); }
  void frmMain_DeliveryReport(const std::u16string& Destination, enuStatus_Type Status) override {
    Raise(reportHandlers, Destination, Status);
  }

  template <typename Handler>
  Subscription Add(std::map<Subscription, Handler>& all, Handler handler) {
    CheckThread();
    const Subscription id = nextSubscription++;
    all.emplace(id, std::move(handler));
    return id;
  }

  template <typename Handler, typename... Args>
  void Raise(std::map<Subscription, Handler>& all, const Args&... args) {
    std::vector<Subscription> ids;
    for (const auto& [id, handler] : all) ids.push_back(id);
    for (Subscription id : ids) {
      if (!alive) return;  // released by an earlier handler
      auto it = all.find(id);
      if (it == all.end()) continue;  // unsubscribed by an earlier handler
      Handler handler = it->second;   // a copy survives unsubscription
      handler(args...);
    }
  }
};

clsSMS::clsSMS() : impl_(std::make_shared<Impl>()) {
  impl_->thread = PlatformHost().CurrentThread();
  ClaimOwnership(impl_->thread);
  try {
    frmSMS::Load();
  } catch (...) {
    ReleaseOwnership();
    throw;
  }
  frmSMS::Subscribe(impl_);  // frmMain
}

clsSMS::~clsSMS() {
  // An object released on a foreign thread must not touch the shared state;
  // its subscription lapses with it.
  if (PlatformHost().CurrentThread() != impl_->thread) return;
  impl_->alive = false;
  try {
    frmSMS::Load()->MSComm1().SetPortOpen(false);
  } catch (...) {
    // Termination ignores every failure.
  }
  frmSMS::Unload();
  frmSMS::Unsubscribe(impl_.get());
  ReleaseOwnership();
}

std::u16string clsSMS::Initialize(int16_t ComPort, std::u16string Settings) {
  impl_->CheckThread();
  // Every failure is ignored and the next step still attempted; a port that
  // did not open shows itself at the next command.
  std::shared_ptr<frmSMS> form;
  try {
    form = frmSMS::Load();
  } catch (...) {
    return {};
  }
  form->initializeFailure.reset();
  auto attempt = [&form](auto&& step) {
    try {
      step();
    } catch (const Error& e) {
      if (!form->initializeFailure) form->initializeFailure = e;
    } catch (...) {
    }
  };
  core::SerialControl& comm = form->MSComm1();
  attempt([&] { comm.SetCommPort(ComPort); });
  attempt([&] { comm.SetSettings(Settings); });
  attempt([&] { comm.SetInputLen(0); });
  attempt([&] { comm.SetInputMode(1); });
  attempt([&] { comm.SetPortOpen(true); });
  return {};
}

std::u16string clsSMS::MobiCheck() {
  impl_->CheckThread();
  auto form = frmSMS::Load();
  modMain::State& state = *form->state();
  state.strReply.clear();
  state.bytSend = {protocol::kFrameStart, protocol::kMobiCheck};
  form->MSComm1().SetInBufferCount(0);
  form->MSComm1().Output(state.bytSend);
  modMain::WaitReply(state, 1000);
  return state.strReply;
}

bool clsSMS::SetMobiCode(std::u16string CenterCode) {
  impl_->CheckThread();
  auto form = frmSMS::Load();
  modMain::State& state = *form->state();
  state.strReply.clear();
  state.bytSend = {protocol::kFrameStart, protocol::kSetMobiCode};
  modMain::AppendBytes(state.bytSend, modMain::NumberToBytes(CenterCode));
  form->MSComm1().Output(state.bytSend);
  modMain::WaitReply(state, 1000);
  return state.strReply != protocol::kWordError;
}

void clsSMS::MobiReset() {
  impl_->CheckThread();
  auto form = frmSMS::Load();
  modMain::State& state = *form->state();
  state.bytSend = {protocol::kFrameStart, protocol::kMobiReset};
  form->MSComm1().Output(state.bytSend);
}

enuStatus_Type clsSMS::SendSMS(std::u16string Tel, std::u16string Data) {
  impl_->CheckThread();
  auto form = frmSMS::Load();
  modMain::State& state = *form->state();
  state.lngStatus = typeSendOk;
  int32_t remaining = 5000;
  state.strSendTel = Tel;
  // Reports that come while this waits are its own, not late ones (a send
  // nested in a handler leaves the flag as it found it).
  struct Sending {
    modMain::State& state;
    const bool outer;
    explicit Sending(modMain::State& s) : state(s), outer(s.sending) { state.sending = true; }
    ~Sending() { state.sending = outer; }
  } sending(state);
  state.bytSend = {protocol::kFrameStart, protocol::kSendSMS};
  modMain::AppendBytes(state.bytSend, modMain::NumberToBytes(Tel));
  modMain::AppendBytes(state.bytSend, modMain::TextToBytes(Data));
  form->MSComm1().Output(state.bytSend);
  // The budget is counted in steps, and a step that sees a reply counts
  // nothing: a terminal that keeps sending non-final replies would hold the
  // send forever. Twice the budget in real time ends it all the same.
  core::Host& host = PlatformHost();
  const core::TimePoint giveUp = host.Now() + std::chrono::milliseconds(2 * remaining);
  int32_t elapsed = modMain::WaitReply(state, 5000);
  for (;;) {
    if (elapsed >= remaining || host.Now() >= giveUp) break;
    const int32_t status = state.lngStatus;
    if (status == typeError || status == typeCustOK || status == TypeCustError) break;
    remaining -= elapsed;
    elapsed = modMain::WaitReply(state, remaining);
  }
  return static_cast<enuStatus_Type>(state.lngStatus);
}

int16_t clsSMS::MobiSignal() {
  impl_->CheckThread();
  auto form = frmSMS::Load();
  modMain::State& state = *form->state();
  state.strReply.clear();
  state.bytSend = {protocol::kFrameStart, protocol::kMobiSignal};
  form->MSComm1().Output(state.bytSend);
  modMain::WaitReply(state, 1000);
  const double rounded = std::nearbyint(LeadingNumber(state.strReply));  // halves to even
  if (!(rounded >= -32768 && rounded <= 32767)) {
    std::string text;
    for (char16_t c : state.strReply) text += c < 0x80 ? static_cast<char>(c) : '?';
    core::Raise(mobi::kOverflow, "the signal reply \"" + text + "\" is outside -32768 to 32767");
  }
  return static_cast<int16_t>(rounded);
}

void clsSMS::ATSend(std::u16string ATCMD) {
  impl_->CheckThread();
  auto form = frmSMS::Load();
  form->state()->strReply.clear();
  auto bytes = PlatformHost().Ansi().Encode(ATCMD);
  if (!bytes) {
    core::Raise(mobi::kInvalidProcedureCall,
                "the command has a character that the ANSI code page cannot encode");
  }
  form->MSComm1().Output(*bytes);
}

clsSMS::Subscription clsSMS::SubscribeSMSError(SMSErrorHandler handler) {
  return impl_->Add(impl_->handlers, std::move(handler));
}

void clsSMS::UnsubscribeSMSError(Subscription subscription) {
  impl_->CheckThread();
  impl_->handlers.erase(subscription);
}

clsSMS::Subscription clsSMS::SubscribeDeliveryReport(DeliveryReportHandler handler) {
  return impl_->Add(impl_->reportHandlers, std::move(handler));
}

void clsSMS::UnsubscribeDeliveryReport(Subscription subscription) {
  impl_->CheckThread();
  impl_->reportHandlers.erase(subscription);
}

void DoEvents() {
  core::Host& host = PlatformHost();
  const uint64_t owner = g_ownerThread;
  if (owner != 0 && owner != host.CurrentThread()) {
    core::Raise(mobi::kWrongThread, "DoEvents belongs on the thread that owns the clsSMS objects");
  }
  host.ProcessMessages(host.Now(), [](core::TimePoint) { return false; });
  // A reply begun before the call is handed over within it: the call waits
  // once for the gap that the bytes held now wait for, not for later ones.
  const auto form = frmSMS::Current();
  const auto due = form ? form->MSComm1().ReplyDue() : std::nullopt;
  if (!due) return;
  const std::weak_ptr<frmSMS> weak = form;
  host.ProcessMessages(*due, [&weak](core::TimePoint) {
    const auto current = weak.lock();
    return !current || !current->MSComm1().ReplyDue();
  });
}

}  // namespace mobi

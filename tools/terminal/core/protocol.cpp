#include "terminal/core/protocol.h"

#include <algorithm>

namespace mobi::terminal {

size_t FixedRequestLength(uint8_t command) {
  switch (static_cast<Command>(command)) {
    case Command::kMobiCheck:
    case Command::kMobiReset:
    case Command::kMobiSignal:
      return 2;
    default:
      return 0;
  }
}

namespace {
bool IsDialling(uint8_t b) {
  return (b >= '0' && b <= '9') || b == '+' || b == '*' || b == '#';
}
}  // namespace

Request DecodeRequest(const Bytes& frame) {
  Request r;
  r.bytes = frame;
  if (frame.size() < 2 || frame[0] != kFrameStart) {
    r.kind = Request::Kind::kRaw;
    return r;
  }
  const uint8_t* payload = frame.data() + 2;
  const size_t size = frame.size() - 2;
  switch (static_cast<Command>(frame[1])) {
    case Command::kMobiCheck:
      r.kind = Request::Kind::kMobiCheck;
      break;
    case Command::kMobiReset:
      r.kind = Request::Kind::kMobiReset;
      break;
    case Command::kMobiSignal:
      r.kind = Request::Kind::kMobiSignal;
      break;
    case Command::kSetMobiCode:
      r.kind = Request::Kind::kSetMobiCode;
      r.number.assign(payload, payload + size);
      break;
    case Command::kSendSMS: {
      r.kind = Request::Kind::kSendSMS;
      size_t n = 0;
      while (n < size && IsDialling(payload[n])) ++n;
      if ((size - n) % 2 != 0 && n > 0) --n;
      r.number.assign(payload, payload + n);
      r.text = Utf16BeToUtf16(payload + n, size - n);
      r.odd_text = (size - n) % 2 != 0;
      break;
    }
    default:
      r.kind = Request::Kind::kUnknown;
      break;
  }
  // A fixed-length command with extra bytes is not what the component sends.
  if (FixedRequestLength(frame[1]) != 0 && frame.size() != 2) r.kind = Request::Kind::kUnknown;
  return r;
}

const char* CommandName(Request::Kind kind) {
  switch (kind) {
    case Request::Kind::kMobiCheck:
      return "MobiCheck";
    case Request::Kind::kSendSMS:
      return "SendSMS";
    case Request::Kind::kMobiReset:
      return "MobiReset";
    case Request::Kind::kSetMobiCode:
      return "SetMobiCode";
    case Request::Kind::kMobiSignal:
      return "MobiSignal";
    case Request::Kind::kUnknown:
      return "unknown command";
    case Request::Kind::kRaw:
      return "raw text";
  }
  return "?";
}

std::string Describe(const Request& r) {
  std::string out = CommandName(r.kind);
  switch (r.kind) {
    case Request::Kind::kSetMobiCode:
      out += " number=" + Quoted(r.number);
      break;
    case Request::Kind::kSendSMS:
      out += " number=" + Quoted(r.number) + " text=\"" + Utf16ToUtf8(r.text) + "\"";
      out += " (" + std::to_string(r.text.size()) + " UTF-16 units";
      if (r.odd_text) out += ", odd trailing byte ignored";
      out += ")";
      break;
    case Request::Kind::kUnknown:
      if (r.bytes.size() >= 2) out += " code " + std::to_string(r.bytes[1]);
      break;
    case Request::Kind::kRaw:
      out += " " + Quoted(r.bytes);
      break;
    default:
      break;
  }
  return out;
}

Bytes MakeReply(uint8_t type, const Bytes& payload) {
  Bytes out(payload.size() + 2);
  out[0] = kFrameStart;
  out[1] = type;
  std::copy(payload.begin(), payload.end(), out.begin() + 2);
  return out;
}

Bytes MakeReply(uint8_t type, std::string_view text) {
  return MakeReply(type, Bytes(text.begin(), text.end()));
}

std::string DescribeReply(const Bytes& reply) {
  if (reply.size() < 2) return std::to_string(reply.size()) + " stray byte(s)";
  const uint8_t type = reply[1];
  std::string out = "type " + std::to_string(type);
  Bytes payload(reply.begin() + 2, reply.end());
  if (type == kReplyLevel) {
    out += payload.empty() ? " without level" : " level " + std::to_string(payload[0]);
    if (payload.size() > 1) out += " + " + std::to_string(payload.size() - 1) + " more byte(s)";
  } else if (type == kReplyError || type == kReplyStatus || type == kReplyText) {
    out += " " + Quoted(payload);
  } else {
    out += " (ignored type) " + Quoted(payload);
  }
  return out;
}

SendProgress ClassifyStatusReport(std::string_view text, std::string_view destination) {
  if (text == "ERROR") return SendProgress::kTerminalError;
  if (text == "OK") return SendProgress::kSent;
  const std::string_view word = text.substr(0, 7);
  const std::string_view number = text.size() > 7 ? text.substr(7, 11) : std::string_view{};
  if (word == "SEND OK") return SendProgress::kCentreAccepted;
  if (word == "SUCCESS")
    return number == destination ? SendProgress::kDelivered : SendProgress::kNone;
  if (word == "FAILURE" && number == destination) return SendProgress::kFailed;
  return SendProgress::kNone;
}

const char* ProgressName(SendProgress p) {
  switch (p) {
    case SendProgress::kNone:
      return "no change";
    case SendProgress::kSent:
      return "sent";
    case SendProgress::kCentreAccepted:
      return "centre accepted";
    case SendProgress::kDelivered:
      return "delivered";
    case SendProgress::kFailed:
      return "failed";
    case SendProgress::kTerminalError:
      return "terminal error";
  }
  return "?";
}

}  // namespace mobi::terminal

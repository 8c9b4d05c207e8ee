// Outcome of every device operation: an error number with a readable text.
// The text the application shows is "error <number>: <text>".
#pragma once

#include <string>
#include <utility>

namespace smsdll {

enum class Error : int {
  kNone = 0,
  kInvalidArgument = 1,     // a parameter the caller gave cannot be used
  kPortUnavailable = 2,     // the serial port cannot be opened
  kPortSetup = 3,           // the port opened but refused its settings
  kPortIo = 4,              // reading or writing the port failed
  kNoAnswer = 5,            // the modem did not answer in time
  kModemRefused = 6,        // the modem answered ERROR, +CMS ERROR or +CME ERROR
  kUnexpectedReply = 7,     // the modem's answer could not be understood
  kNotOpen = 8,             // no device is open
  kWrongHandle = 9,         // the handle is not the open device's
  kTextEncoding = 10,       // a text is not valid in its code page
  kMessageTooLong = 11,     // the text does not fit one message
  kInboxEmpty = 12,         // no received message is stored
  kPortMap = 13,            // the port mapping cannot be read
  kIncompleteMessage = 14,  // only some parts of a concatenated message are stored
};

class Status {
 public:
  Status() = default;
  Status(Error error, std::string text) : error_(error), text_(std::move(text)) {}

  bool ok() const { return error_ == Error::kNone; }
  Error error() const { return error_; }
  const std::string& text() const { return text_; }
  // "error 5: the modem did not answer AT within 1000 ms"; empty when ok.
  std::string Describe() const;

 private:
  Error error_ = Error::kNone;
  std::string text_;
};

}  // namespace smsdll

// Public interface of the Mobi modem link component.
//
// A client creates a clsSMS, opens the serial port with Initialize, and then
// drives the terminal with the other methods. All clsSMS objects of a loaded
// component share one serial port and one set of state: releasing any object
// closes the port for all of them.
//
// Threading: every object belongs to the thread that created it, and all
// objects alive at one time must belong to the same thread. A call from any
// other thread throws mobi::Error (number kWrongThread) instead of racing.
// Received bytes are handled only while the thread processes messages: inside
// a waiting call (MobiCheck, SetMobiCode, SendSMS, MobiSignal), or when the
// client calls mobi::DoEvents().
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "mobi/errors.h"
#include "mobi/export.h"

namespace mobi {

// Status of a send, as SendSMS returns it.
enum enuStatus_Type : int32_t {
  typeNoSend = 1,     // never produced by the component
  typeSendOk = 2,     // the terminal answered "OK", or no final report came in time
  typeCenterOK = 3,   // the message centre accepted the message ("SEND OK")
  TypeCustError = 4,  // delivery report: failure ("FAILURE")
  typeCustOK = 5,     // delivery report: delivered ("SUCCESS")
  typeError = 6,      // the terminal answered "ERROR"
};

// Every failure of the component: a number (the ones clients of the Windows
// component know, see mobi/errors.h) and a readable description (UTF-8).
class MOBI_API Error : public std::runtime_error {
 public:
  Error(int32_t number, const std::string& description)
      : std::runtime_error(description), number_(number) {}
  int32_t number() const noexcept { return number_; }
  std::string description() const { return what(); }

 private:
  int32_t number_;
};

class MOBI_API clsSMS {
 public:
  using SMSErrorHandler = std::function<void(const std::u16string& ErrorMessage)>;
  using DeliveryReportHandler =
      std::function<void(const std::u16string& Destination, enuStatus_Type Status)>;
  using Subscription = uint64_t;

  // Class_Initialize: loads the shared hidden form if there is none. The port
  // stays closed until Initialize.
  clsSMS();
  // Class_Terminate: closes the shared port (for every object) and drops the
  // shared form. Never throws.
  ~clsSMS();
  clsSMS(const clsSMS&) = delete;
  clsSMS& operator=(const clsSMS&) = delete;

  // Opens the port. Every failure is ignored and the result is always empty:
  // a port that did not open shows itself at the next command.
  std::u16string Initialize(int16_t ComPort, std::u16string Settings);
  // Asks the terminal for its check text; empty when none came within ~1 s.
  std::u16string MobiCheck();
  // Stores the message-centre number; false only if the terminal answered
  // exactly "ERROR".
  bool SetMobiCode(std::u16string CenterCode);
  // Resets the terminal; does not wait.
  void MobiReset();
  // Sends one message and waits up to ~5 s for a final report.
  enuStatus_Type SendSMS(std::u16string Tel, std::u16string Data);
  // The terminal's signal level (0 to 255), 0 when no answer came within ~1 s.
  int16_t MobiSignal();
  // Writes a raw command (ANSI bytes, nothing added); does not wait.
  void ATSend(std::u16string ATCMD);

  // The SMSError event: raised synchronously, on the object's thread, for every
  // error text (reply type 0) the terminal sends while messages are processed.
  // Handlers may call into the component, and may release objects, this one
  // included. An exception thrown by a handler ends the message processing that
  // raised it and reaches the caller of the waiting method or of DoEvents.
  Subscription SubscribeSMSError(SMSErrorHandler handler);
  void UnsubscribeSMSError(Subscription subscription);

  // Late delivery reports (Linux only; the automation interface has none): a
  // report ("SUCCESS" or "FAILURE" and the destination it names, at most 11
  // characters) that arrives while no SendSMS waits, that is after SendSMS
  // returned without it, raised like SMSError with typeCustOK or
  // TypeCustError. SendSMS's own result is unchanged; a client that keeps
  // processing messages (DoEvents, EventFd, a later wait) follows the message
  // to its end.
  Subscription SubscribeDeliveryReport(DeliveryReportHandler handler);
  void UnsubscribeDeliveryReport(Subscription subscription);

  struct Impl;

 private:
  std::shared_ptr<Impl> impl_;
};

// Maps serial port number `port` (the ComPort of Initialize) to a device path,
// for example "/dev/ttyUSB0" or a pseudo-terminal; an empty path removes the
// mapping. Unmapped port n is the platform's n-th serial port (/dev/ttyS{n-1}
// on POSIX, \\.\COMn on Windows). Like the objects, call it on the thread
// that uses the component (or before any object exists).
MOBI_API void SetPortDevice(int port, std::string path);

// Processes the thread's pending messages: hands received replies to the
// component, which may raise SMSError. A reply that was complete when it was
// called is handed over by this one call: it waits at most one quiet gap for
// a reply whose bytes it has begun to read. Returns at once when nothing is
// pending.
MOBI_API void DoEvents();

}  // namespace mobi

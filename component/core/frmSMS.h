// The hidden form frmSMS: owns the serial control MSComm1 and its receive
// handler, classifies status reports, and raises the MobiError notification.
// One instance serves every clsSMS object; it is created on first need and
// dropped whenever an object terminates.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>

#include "mobi/clsSMS.h"
#include "platform.h"

namespace mobi::core {

// A subscriber to the form's MobiError notification (a clsSMS's frmMain).
class MobiErrorListener {
 public:
  virtual ~MobiErrorListener() = default;
  virtual void frmMain_MobiError(const std::u16string& Message) = 0;
};

class frmSMS : public std::enable_shared_from_this<frmSMS> {
 public:
  // The shared instance, created and loaded (serial control in place, port
  // closed) if there is none.
  static std::shared_ptr<frmSMS> Load();
  // The shared instance, or null.
  static std::shared_ptr<frmSMS> Current();
  // Drops the shared instance. A handler that is running keeps its form alive
  // until it returns; the next Load creates a fresh form.
  static void Unload();

  // Subscriptions to MobiError follow whichever form serves the port, so a
  // fresh form raises to every live object. Listeners are held weakly; a
  // listener removed during a notification gets no further ones.
  static void Subscribe(const std::shared_ptr<MobiErrorListener>& listener);
  static void Unsubscribe(const MobiErrorListener* listener);

  SerialControl& MSComm1() { return *MSComm1_; }

  // The receive handler: takes the waiting bytes as one reply chunk and acts
  // on its reply type.
  void MSComm1_OnComm();
  // Whether `received` is a reply known to be whole: a type 20 level, a bare
  // type 3, or a status report "OK", "SEND OK", "ERROR", or "SUCCESS" or
  // "FAILURE" followed by the whole destination `sendTel` of the current send.
  static bool IsWholeReply(std::span<const uint8_t> received, const std::u16string& sendTel);
  // The length of the whole reply that `received` begins with: all of it when
  // it is one (IsWholeReply), the first one's when a whole reply is followed
  // by the start of another frame (two replies read together), else 0.
  static std::size_t WholeReplyLength(std::span<const uint8_t> received,
                                      const std::u16string& sendTel);

  // Classifies one status report into lngStatus.
  void GetSMSStatus(std::u16string RebackInfo);
  // Raises MobiError synchronously to every subscribed object.
  void MobiError(const std::u16string& Message);

  explicit frmSMS(std::unique_ptr<SerialControl> control);

  // The first failure that the last Initialize ignored, for tools.
  std::optional<mobi::Error> initializeFailure;

 private:
  std::unique_ptr<SerialControl> MSComm1_;
};

}  // namespace mobi::core

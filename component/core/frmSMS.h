// The hidden form frmSMS: owns the module state, the serial control MSComm1
// and its receive handler, classifies status reports, and raises the
// MobiError notification. The control hands finished replies over through
// OnComm; what makes a reply whole it learns from the frame rules
// (protocol.h), never from the form.
// One instance serves every clsSMS object; it is created on first need and
// dropped whenever an object terminates.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "core/modMain.h"
#include "core/platform.h"
#include "core/protocol.h"
#include "mobi/clsSMS.h"

namespace mobi::core {

// A subscriber to the form's notifications (a clsSMS's frmMain): MobiError,
// and DeliveryReport for a report that came when no send waited for it.
class MobiErrorListener {
 public:
  virtual ~MobiErrorListener() = default;
  virtual void frmMain_MobiError(const std::u16string& Message) = 0;
  virtual void frmMain_DeliveryReport(const std::u16string& Destination, enuStatus_Type Status) = 0;
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
  // The module state (modMain.h); a wait holds it while it runs.
  const std::shared_ptr<modMain::State>& state() const { return state_; }

  // The receive handler: takes the reply the control hands over and acts on
  // its reply type.
  void MSComm1_OnComm();

  // Classifies one status report into lngStatus.
  void GetSMSStatus(std::u16string RebackInfo);
  // Raises MobiError synchronously to every subscribed object.
  void MobiError(const std::u16string& Message);
  // Raises DeliveryReport synchronously to every subscribed object: a
  // SUCCESS or FAILURE report that came while no SendSMS waited (a late one).
  void DeliveryReport(const protocol::DeliveryReport& report);

  // Gives `control` the frame rules, which read the state's strSendTel.
  explicit frmSMS(std::unique_ptr<SerialControl> control);
  ~frmSMS();

  // The first failure that the last Initialize ignored, for tools.
  std::optional<mobi::Error> initializeFailure;

 private:
  // Calls `notify` on every listener still subscribed when its turn comes.
  template <typename Notify>
  void Raise(const Notify& notify);

  const std::shared_ptr<modMain::State> state_ = std::make_shared<modMain::State>();
  const protocol::Rules rules_;
  std::unique_ptr<SerialControl> MSComm1_;
};

}  // namespace mobi::core

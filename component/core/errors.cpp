#include "errors.h"

namespace mobi {

const char* StandardText(int32_t number) {
  switch (number) {
    case kInvalidProcedureCall:
      return "Invalid procedure call or argument";
    case kOverflow:
      return "Overflow";
    case kSubscriptOutOfRange:
      return "Subscript out of range";
    case kOutOfMemory:
      return "Out of memory";
    case kInternalError:
      return "Internal error";
    case kInvalidPropertyValue:
      return "Invalid property value";
    case kPortOpenNotAllowed:
      return "Operation not valid while the port is opened";
    case kInvalidPortNumber:
      return "Invalid port number";
    case kPortAlreadyOpen:
      return "Port already open";
    case kHardwareNotAvailable:
      return "The hardware is not available (locked by another device)";
    case kDeviceNotOpen:
      return "The device is not open";
    case kSetCommStateFailed:
      return "Could not set comm state";
    case kPortNotOpen:
      return "Operation valid only when the port is open";
    case kReadError:
      return "Error reading comm device";
    case kWriteError:
      return "Error writing comm device";
    case kWrongThread:
      return "The object was called from a thread other than the one that created it";
    default:
      return "Unknown error";
  }
}

}  // namespace mobi

namespace mobi::core {

void Raise(int32_t number, const std::string& detail) {
  std::string text = StandardText(number);
  if (!detail.empty()) text += ": " + detail;
  throw Error(number, text);
}

}  // namespace mobi::core

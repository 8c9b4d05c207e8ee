// Every error number the component raises, with its standard text. The
// numbers are those that clients of the Windows component already know: the
// language runtime's (5, 6, 7, 9, 51), the serial control's (380, 8000 on) and
// the object runtime's "wrong thread" code.
#pragma once

#include <cstdint>

#include "mobi/export.h"

namespace mobi {

enum ErrorNumber : int32_t {
  kInvalidProcedureCall = 5,     // "Invalid procedure call or argument"
  kOverflow = 6,                 // "Overflow"
  kOutOfMemory = 7,              // "Out of memory" (automation server only)
  kSubscriptOutOfRange = 9,      // "Subscript out of range"
  kInternalError = 51,           // "Internal error" (automation server only)
  kInvalidPropertyValue = 380,   // "Invalid property value"
  kPortOpenNotAllowed = 8000,    // "Operation not valid while the port is opened"
  kInvalidPortNumber = 8002,     // "Invalid port number"
  kPortAlreadyOpen = 8005,       // "Port already open"
  kHardwareNotAvailable = 8010,  // "The hardware is not available (locked by another device)"
  kDeviceNotOpen = 8012,         // "The device is not open"
  kSetCommStateFailed = 8015,    // "Could not set comm state"
  kPortNotOpen = 8018,           // "Operation valid only when the port is open"
  kReadError = 8020,             // "Error reading comm device"
  kWriteError = 8030,            // "Error writing comm device"
  // A call from a thread other than the one that owns the component's
  // objects; automation clients see the code they know.
  kWrongThread = static_cast<int32_t>(0x8001010E),
};

// Every number above, in order.
inline constexpr ErrorNumber kErrorNumbers[] = {
    kInvalidProcedureCall, kOverflow,          kOutOfMemory,
    kSubscriptOutOfRange,  kInternalError,     kInvalidPropertyValue,
    kPortOpenNotAllowed,   kInvalidPortNumber, kPortAlreadyOpen,
    kHardwareNotAvailable, kDeviceNotOpen,     kSetCommStateFailed,
    kPortNotOpen,          kReadError,         kWriteError,
    kWrongThread,
};

// True for the serial control's numbers: a settings string it refused (380)
// or a port it could not open, use or keep (8000 to 8999).
constexpr bool IsSerialError(int32_t number) {
  return number == kInvalidPropertyValue || (number >= 8000 && number < 9000);
}

// The standard text of an error number ("Unknown error" for others).
MOBI_API const char* StandardText(int32_t number);

}  // namespace mobi

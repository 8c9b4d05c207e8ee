// Every error number of the component, with its standard text, in one place.
// The numbers are those that clients of the Windows component already know:
// the language runtime's (5, 6, 9) and the serial control's (380, 8000 on).
#pragma once

#include <cstdint>
#include <string>

#include "mobi/clsSMS.h"

namespace mobi::core {

enum ErrorNumber : int32_t {
  kInvalidProcedureCall = 5,     // "Invalid procedure call or argument"
  kOverflow = 6,                 // "Overflow"
  kSubscriptOutOfRange = 9,      // "Subscript out of range"
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
  kWrongThread = kErrWrongThread,
};

// The standard text of an error number ("Unknown error" for others).
const char* StandardText(int32_t number);

// An Error whose description is the standard text, followed by ": detail"
// when a detail is given.
[[noreturn]] void Raise(int32_t number, const std::string& detail = {});

}  // namespace mobi::core

// Every error number the component raises, with its standard text. The
// numbers are those that clients of the Windows component already know: the
// language runtime's (5, 6, 7, 9, 51), the serial control's (380, 8000 on) and
// the object runtime's "wrong thread" code.
#pragma once

#include <cstdint>

#include "mobi/export.h"

namespace mobi {

// The one table of the errors: name, number, standard text. The enum, the
// list and StandardText are made from it.
#define MOBI_ERROR_TABLE(X)                                                                  \
  X(kInvalidProcedureCall, 5, "Invalid procedure call or argument")                          \
  X(kOverflow, 6, "Overflow")                                                                \
  /* automation server only */                                                               \
  X(kOutOfMemory, 7, "Out of memory")                                                        \
  X(kSubscriptOutOfRange, 9, "Subscript out of range")                                       \
  /* automation server only */                                                               \
  X(kInternalError, 51, "Internal error")                                                    \
  X(kInvalidPropertyValue, 380, "Invalid property value")                                    \
  X(kPortOpenNotAllowed, 8000, "Operation not valid while the port is opened")               \
  X(kInvalidPortNumber, 8002, "Invalid port number")                                         \
  X(kPortAlreadyOpen, 8005, "Port already open")                                             \
  X(kHardwareNotAvailable, 8010, "The hardware is not available (locked by another device)") \
  X(kDeviceNotOpen, 8012, "The device is not open")                                          \
  X(kSetCommStateFailed, 8015, "Could not set comm state")                                   \
  X(kPortNotOpen, 8018, "Operation valid only when the port is open")                        \
  X(kReadError, 8020, "Error reading comm device")                                           \
  X(kWriteError, 8030, "Error writing comm device")                                          \
  /* a call from a thread other than the one that owns the component's                    */ \
  /* objects; automation clients see the code they know                                   */ \
  X(kWrongThread, static_cast<int32_t>(0x8001010E),                                          \
    "The object was called from a thread other than the one that created it")

enum ErrorNumber : int32_t {
#define MOBI_ERROR_ENUMERATOR(name, number, text) name = number,
  MOBI_ERROR_TABLE(MOBI_ERROR_ENUMERATOR)
#undef MOBI_ERROR_ENUMERATOR
};

// Every number above, in order.
inline constexpr ErrorNumber kErrorNumbers[] = {
#define MOBI_ERROR_LISTED(name, number, text) name,
    MOBI_ERROR_TABLE(MOBI_ERROR_LISTED)
#undef MOBI_ERROR_LISTED
};

// True for the serial control's numbers: a settings string it refused (380)
// or a port it could not open, use or keep (8000 to 8999).
constexpr bool IsSerialError(int32_t number) {
  return number == kInvalidPropertyValue || (number >= 8000 && number < 9000);
}

// The standard text of an error number ("Unknown error" for others).
MOBI_API const char* StandardText(int32_t number);

}  // namespace mobi

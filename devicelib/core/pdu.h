// SMS PDUs as GSM modems carry them in PDU mode (AT+CMGF=0): the service
// centre address followed by one TPDU, written as upper-case hex. Encodes
// SMS-SUBMIT, SMS-DELIVER and SMS-STATUS-REPORT and decodes all three; the
// GSM 7-bit default alphabet with its extension table, 8-bit data and UCS2;
// the user data header's concatenation element (8- and 16-bit references).
// Pure functions, no platform calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace smsdll::pdu {

enum class Coding { kGsm7, kEightBit, kUcs2 };
enum class Type { kDeliver, kSubmit, kStatusReport };

// One part of a concatenated message.
struct Concat {
  int reference = 0;            // the same in every part of one message
  int total = 1;                // 1..255
  int part = 1;                 // 1..total
  bool wide_reference = false;  // a 16-bit reference (element 08) rather than 8-bit (00)
};

struct Message {
  Type type = Type::kDeliver;
  std::string centre;  // service centre, "+8613800290500"; empty for the modem's own
  // Destination of a SUBMIT, originator of a DELIVER, recipient of a
  // STATUS-REPORT: "+8613912345678", "10086", or an alphanumeric sender.
  std::string number;
  Coding coding = Coding::kGsm7;
  std::u16string text;  // GSM 7-bit and UCS2
  std::string data;     // 8-bit user data (without the header)
  std::optional<Concat> concat;
  int reference = 0;           // TP-MR of a SUBMIT or STATUS-REPORT
  bool status_report = false;  // asked for (SUBMIT) or announced (DELIVER)
  int validity = 167;          // relative TP-VP of a SUBMIT; -1 for none
  int pid = 0;
  // Time stamps as modems show them in text mode, "26/12/08,19:10:00+32"
  // (quarter hours from UTC): the service centre's, and a report's discharge time.
  std::string time;
  std::string discharge_time;
  int status = 0;  // TP-ST of a STATUS-REPORT, 0 = delivered
};

// Text as GSM 7-bit septets, one per byte (an extension character as 0x1B and
// its code); nullopt when some character is in neither table.
std::optional<std::string> ToGsm7(std::u16string_view text);
// The inverse; an unknown extension code reads as its base table character.
std::u16string FromGsm7(std::string_view septets);

// Septets packed from the bit after `fill_bits` on, and the inverse.
std::string PackSeptets(std::string_view septets, int fill_bits = 0);
std::string UnpackSeptets(std::string_view octets, std::size_t count, int fill_bits = 0);

// The hex PDU; tpdu_length gets the octets after the service centre address
// (the <length> of AT+CMGS and +CMGL). Texts the coding cannot carry, or
// that do not fit one message, fail with a readable reason.
struct Encoded {
  std::string hex;
  std::size_t tpdu_length = 0;
};
bool Encode(const Message& m, Encoded& out, std::string& why);

// Decodes a hex PDU that starts with the service centre address, as modems
// give it. The TPDU type comes from the message type indicator, read as a
// message sent from the modem (SUBMIT) when `from_modem`, else as one the
// modem received (DELIVER, STATUS-REPORT).
bool Decode(std::string_view hex, bool from_modem, Message& out, std::string& why);

// Splits a text into the user data of as many parts as it takes, never
// cutting an extension pair or a surrogate pair: 160 septets (GSM) or 70
// UCS2 units in one message, 153 or 67 per part of a longer one (an 8-bit
// reference header). Empty when the text needs more than max_parts.
inline constexpr int kMaxParts = 255;
std::vector<std::u16string> Split(std::u16string_view text, Coding coding,
                                  int max_parts = kMaxParts);

// The user data header (its length octet first) with one concatenation
// element, and the concatenation element found in a header.
std::string WriteHeader(const Concat& c);
std::optional<Concat> ReadHeader(std::string_view udh);

// Septets a text takes in GSM 7-bit (extension characters count two).
std::size_t Gsm7Length(std::u16string_view text);

}  // namespace smsdll::pdu

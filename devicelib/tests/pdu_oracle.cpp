// The device library's PDU codec on standard input and output, one request a
// line, for the differential test against another codec (pdu_oracle_test.py):
//
//   E TYPE CODING NUMBER CENTRE TIME CONCAT PAYLOAD   encode
//   D FROM_MODEM HEX                                  decode
//
// TYPE is S (SMS-SUBMIT) or D (SMS-DELIVER); CODING g (GSM 7-bit), u (UCS2)
// or 8 (8-bit); CONCAT "-" or REFERENCE,TOTAL,PART,WIDE; "-" stands for an
// empty CENTRE or TIME; PAYLOAD is the text's UTF-16 units, four hex digits
// each, or the 8-bit data's bytes in hex. The answer is "OK HEX" for an
// encoding, "OK TYPE CODING NUMBER CENTRE TIME CONCAT PAYLOAD" for a
// decoding, or "ERR" and the reason.
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "pdu.h"

using smsdll::pdu::Coding;
using smsdll::pdu::Message;
using smsdll::pdu::Type;

namespace {

std::string Hex(const std::string& bytes) {
  std::string out;
  char two[3];
  for (unsigned char b : bytes) {
    std::snprintf(two, sizeof two, "%02X", b);
    out += two;
  }
  return out;
}

std::string Units(const std::u16string& text) {
  std::string out;
  char four[5];
  for (char16_t c : text) {
    std::snprintf(four, sizeof four, "%04X", static_cast<unsigned>(c));
    out += four;
  }
  return out;
}

std::string Bytes(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

std::u16string FromUnits(const std::string& hex) {
  std::u16string out;
  for (std::size_t i = 0; i + 3 < hex.size(); i += 4)
    out += static_cast<char16_t>(std::stoi(hex.substr(i, 4), nullptr, 16));
  return out;
}

std::string Dash(const std::string& s) {
  return s.empty() ? "-" : s;
}
std::string Undash(const std::string& s) {
  return s == "-" ? "" : s;
}

std::string Encode(std::istringstream& in) {
  std::string type, coding, number, centre, time, concat, payload;
  in >> type >> coding >> number >> centre >> time >> concat >> payload;
  Message m;
  m.type = type == "S" ? Type::kSubmit : Type::kDeliver;
  m.coding = coding == "g" ? Coding::kGsm7 : coding == "u" ? Coding::kUcs2 : Coding::kEightBit;
  m.number = number;
  m.centre = Undash(centre);
  m.time = Undash(time);
  if (concat != "-") {
    smsdll::pdu::Concat c;
    int wide = 0;
    std::sscanf(concat.c_str(), "%d,%d,%d,%d", &c.reference, &c.total, &c.part, &wide);
    c.wide_reference = wide != 0;
    m.concat = c;
  }
  if (m.coding == Coding::kEightBit)
    m.data = Bytes(Undash(payload));
  else
    m.text = FromUnits(Undash(payload));
  smsdll::pdu::Encoded e;
  std::string why;
  if (!smsdll::pdu::Encode(m, e, why)) return "ERR " + why;
  return "OK " + e.hex;
}

std::string Decode(std::istringstream& in) {
  int from_modem = 0;
  std::string hex, why;
  in >> from_modem >> hex;
  Message m;
  if (!smsdll::pdu::Decode(hex, from_modem != 0, m, why)) return "ERR " + why;
  const char* type = m.type == Type::kSubmit ? "S" : m.type == Type::kDeliver ? "D" : "R";
  const char* coding = m.coding == Coding::kGsm7 ? "g" : m.coding == Coding::kUcs2 ? "u" : "8";
  std::string concat = "-";
  if (m.concat)
    concat = std::to_string(m.concat->reference) + "," + std::to_string(m.concat->total) + "," +
             std::to_string(m.concat->part) + "," + (m.concat->wide_reference ? "1" : "0");
  std::string payload = m.coding == Coding::kEightBit ? Hex(m.data) : Units(m.text);
  return std::string("OK ") + type + " " + coding + " " + Dash(m.number) + " " + Dash(m.centre) +
         " " + Dash(m.time) + " " + concat + " " + Dash(payload);
}

}  // namespace

int main() {
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream in(line);
    std::string verb;
    in >> verb;
    std::cout << (verb == "E"   ? Encode(in)
                  : verb == "D" ? Decode(in)
                                : "ERR unknown request")
              << '\n';
  }
  return 0;
}

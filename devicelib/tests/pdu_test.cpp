// PDUs built by hand from the GSM rules, checked both ways.
#include "pdu.h"

#include <gtest/gtest.h>

namespace smsdll::pdu {
namespace {

Encoded MustEncode(const Message& m) {
  Encoded e;
  std::string why;
  EXPECT_TRUE(Encode(m, e, why)) << why;
  return e;
}

Message MustDecode(std::string_view hex, bool from_modem) {
  Message m;
  std::string why;
  EXPECT_TRUE(Decode(hex, from_modem, m, why)) << why;
  return m;
}

TEST(Gsm7, PacksSeptetsWithAndWithoutFillBits) {
  // "hellohello": ten septets in nine octets.
  auto septets = ToGsm7(u"hellohello");
  ASSERT_TRUE(septets);
  EXPECT_EQ(PackSeptets(*septets), "\xE8\x32\x9B\xFD\x46\x97\xD9\xEC\x37");
  EXPECT_EQ(UnpackSeptets("\xE8\x32\x9B\xFD\x46\x97\xD9\xEC\x37", 10), *septets);
  // After a six-octet header one fill bit: 'H' (0x48) shifted by one, then 'i'.
  EXPECT_EQ(PackSeptets("Hi", 1), "\x90\x69");
  EXPECT_EQ(UnpackSeptets("\x90\x69", 2, 1), "Hi");
}

TEST(Gsm7, MapsTheBasicAndExtensionTablesAndRefusesTheRest) {
  EXPECT_EQ(ToGsm7(u"@$_\u00E9"), std::string("\x00\x02\x11\x05", 4));
  EXPECT_EQ(ToGsm7(u"\u20AC[|"), "\x1B\x65\x1B\x3C\x1B\x40");
  EXPECT_EQ(FromGsm7(std::string("\x1B\x65\x1B\x3C\x00\x02", 6)), std::u16string(u"\u20AC[@$"));
  EXPECT_FALSE(ToGsm7(u"`"));
  EXPECT_FALSE(ToGsm7(u"\u4F60"));
  EXPECT_EQ(Gsm7Length(u"a{b}"), 6u);
}

TEST(Pdu, EncodesASubmitWithTheModemsOwnCentre) {
  Message m;
  m.type = Type::kSubmit;
  m.number = "+46708251358";
  m.text = u"hellohello";
  m.validity = 0xAA;
  Encoded e = MustEncode(m);
  EXPECT_EQ(e.hex, "0011000B916407281553F80000AA0AE8329BFD4697D9EC37");
  EXPECT_EQ(e.tpdu_length, 23u);
  Message back = MustDecode(e.hex, true);
  EXPECT_EQ(back.number, "+46708251358");
  EXPECT_EQ(back.text, u"hellohello");
  EXPECT_EQ(back.validity, 0xAA);
}

TEST(Pdu, ConcatenatedGsmPartCarriesItsHeaderAndFill) {
  Message m;
  m.type = Type::kSubmit;
  m.centre = "+8613800290500";
  m.number = "10086";
  m.text = u"Hi";
  m.status_report = true;
  m.concat = Concat{0xCC, 2, 1, false};
  Encoded e = MustEncode(m);
  // SCA, first octet with UDHI, SRR and relative VP, MR, DA, PID, DCS, VP, UDL 7+2, UD.
  EXPECT_EQ(e.hex,
            "0891683108200905F0"
            "71"
            "00"
            "05810180F6"
            "00"
            "00"
            "A7"
            "09"
            "050003CC0201"
            "9069");
  Message back = MustDecode(e.hex, true);
  EXPECT_EQ(back.centre, "+8613800290500");
  EXPECT_EQ(back.text, u"Hi");
  EXPECT_TRUE(back.status_report);
  ASSERT_TRUE(back.concat);
  EXPECT_EQ(back.concat->reference, 0xCC);
  EXPECT_EQ(back.concat->total, 2);
  EXPECT_EQ(back.concat->part, 1);
}

TEST(Pdu, DecodesAUcs2DeliverWithItsTimeStamps) {
  const std::string hex =
      "0891683108200905F0"
      "04"
      "0D91683119325476F8"
      "00"
      "08"
      "62218091010023"
      "04"
      "4F60597D";
  Message m = MustDecode(hex, false);
  EXPECT_EQ(m.type, Type::kDeliver);
  EXPECT_EQ(m.centre, "+8613800290500");
  EXPECT_EQ(m.number, "+8613912345678");
  EXPECT_EQ(m.coding, Coding::kUcs2);
  EXPECT_EQ(m.text, u"\u4F60\u597D");
  EXPECT_EQ(m.time, "26/12/08,19:10:00+32");
  EXPECT_EQ(MustEncode(m).hex, hex);
  // A zone west of Greenwich: -05:00 is 20 quarters with the sign bit.
  m.time = "26/01/02,03:04:05-20";
  EXPECT_NE(MustEncode(m).hex.find("6210203040500A"), std::string::npos);
  EXPECT_EQ(MustDecode(MustEncode(m).hex, false).time, "26/01/02,03:04:05-20");
}

TEST(Pdu, StatusReportAndEightBitDataRoundTrip) {
  Message r;
  r.type = Type::kStatusReport;
  r.reference = 42;
  r.number = "+8613912345678";
  r.time = "26/12/08,19:10:00+32";
  r.discharge_time = "26/12/08,19:10:05+32";
  Message back = MustDecode(MustEncode(r).hex, false);
  EXPECT_EQ(back.type, Type::kStatusReport);
  EXPECT_EQ(back.reference, 42);
  EXPECT_EQ(back.discharge_time, r.discharge_time);
  EXPECT_EQ(back.status, 0);

  Message d;
  d.type = Type::kSubmit;
  d.number = "123";
  d.coding = Coding::kEightBit;
  d.data = std::string("\x00\xFF\x10", 3);
  d.concat = Concat{0x1234, 3, 3, true};
  back = MustDecode(MustEncode(d).hex, true);
  EXPECT_EQ(back.data, d.data);
  ASSERT_TRUE(back.concat);
  EXPECT_EQ(back.concat->reference, 0x1234);
  EXPECT_TRUE(back.concat->wide_reference);
}

TEST(Pdu, RefusesMalformedAndOversizedInput) {
  Message m;
  std::string why;
  EXPECT_FALSE(Decode("0011", true, m, why));
  EXPECT_FALSE(Decode("00110", true, m, why));
  EXPECT_FALSE(Decode("zz", true, m, why));
  // A user data length beyond what the PDU carries.
  EXPECT_FALSE(Decode("0011000B916407281553F80000AAFF", true, m, why));
  Message big;
  big.type = Type::kSubmit;
  big.number = "1";
  big.text = std::u16string(161, u'a');
  Encoded e;
  EXPECT_FALSE(Encode(big, e, why));
  EXPECT_EQ(why, "the user data takes 161 septets; one message holds 160");
}

TEST(Split, KeepsPairsTogetherAndCountsPartsOfLongTexts) {
  EXPECT_EQ(Split(std::u16string(160, u'a'), Coding::kGsm7).size(), 1u);
  auto parts = Split(std::u16string(161, u'a'), Coding::kGsm7);
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0].size(), 153u);
  // An extension character that would straddle the boundary moves on whole.
  parts = Split(std::u16string(152, u'a') + u"{" + std::u16string(10, u'b'), Coding::kGsm7);
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0], std::u16string(152, u'a'));
  parts = Split(std::u16string(66, u'x') + u"\U0001F600" + u"yyy", Coding::kUcs2);
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0].size(), 66u);
  EXPECT_TRUE(Split(std::u16string(3 * 67 + 1, u'x'), Coding::kUcs2, 3).empty());
}

}  // namespace
}  // namespace smsdll::pdu

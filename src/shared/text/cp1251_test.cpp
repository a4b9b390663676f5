#include "text/cp1251.h"

#include <gtest/gtest.h>

namespace rdplaunch {
namespace {

TEST(Cp1251, LiteralsBecomeCodePage1251Bytes) {
  EXPECT_EQ("ПЕЛТА 8"_cp1251, "\xCF\xC5\xCB\xD2\xC0 8");
  EXPECT_EQ("Удаленное"_cp1251, "\xD3\xE4\xE0\xEB\xE5\xED\xED\xEE\xE5");
  EXPECT_EQ("Ёё№"_cp1251, "\xA8\xB8\xB9");
  EXPECT_EQ("plain ASCII"_cp1251, "plain ASCII");
}

TEST(Cp1251, EveryAssignedByteSurvivesARoundTrip) {
  for (int byte = 1; byte < 256; ++byte) {
    if (byte == 0x98) continue;
    const std::string original(1, static_cast<char>(byte));
    EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(original)), original) << "byte " << byte;
  }
}

TEST(Cp1251, TextWithoutACodePage1251ByteIsRefused) {
  for (const char* utf8 :
       {"中文", "emoji \xF0\x9F\x98\x80", "\xC3\xA9t\xC3\xA9", "broken \xD0", "\xFF", "overlong \xC0\xAF",
        "overlong \xE0\x80\xAF", "\xF0\x80\x80\xAF", "\xC1\x81", "surrogate \xED\xA0\x80"}) {
    EXPECT_FALSE(Utf8ToCp1251(utf8).has_value()) << utf8;
  }
}

TEST(Cp1251, BecomesUtf16LittleEndianAndBack) {
  EXPECT_EQ(Cp1251ToUtf16Le("A\xCF\xFF\x98"), std::string("A\0\x1F\x04\x4F\x04\xFD\xFF", 8));
  EXPECT_EQ(Utf16LeToUtf8(std::string("A\0\x1F\x04\x3D\xD8\x00\xDE", 8)), "AП\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf16LeToUtf8(std::string("\x3D\xD8"
                                      "A\0"
                                      "\x00\xDE"
                                      "B",
                                      7)),
            "\xEF\xBF\xBD"
            "A"
            "\xEF\xBF\xBD\xEF\xBF\xBD");
}

}  // namespace
}  // namespace rdplaunch

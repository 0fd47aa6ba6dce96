#include "platform/Cp932.h"
#include "platform/Errors.h"

#include <gtest/gtest.h>

TEST(Cp932, RoundTripsJapaneseWithBackslashSecondBytes) {
    // ソ, 表 and 能 have 0x5C as their second byte in CP932.
    std::string utf8 = "ソ表能\\a.txt";
    std::string cp = Utf8ToCp932(utf8);
    EXPECT_EQ(cp, std::string("\x83\x5C\x95\x5C\x94\x5C\\a.txt"));
    EXPECT_EQ(Cp932ToUtf8(cp), utf8);
}

TEST(Cp932, BackslashAndTildeStayAscii) {
    EXPECT_EQ(Utf8ToCp932("a\\b~c"), "a\\b~c");
    EXPECT_EQ(Cp932ToUtf8("a\\b~c"), "a\\b~c");
}

TEST(Cp932, InvalidBytesDecodeAsReplacementWithoutLosingTheRest) {
    // 0x81 followed by a byte that cannot trail it, and a lone lead byte at the end.
    std::string decoded = Cp932ToUtf8(std::string("A\x81\x20"
                                                  "B\x82",
                                                  5));
    EXPECT_EQ(decoded, "A\xEF\xBF\xBD B\xEF\xBF\xBD");
}

TEST(Cp932, UnrepresentableCharacterIsAnErrorNamingTheText) {
    try {
        Utf8ToCp932("ghost/😀.txt");
        FAIL() << "no error";
    } catch (const EEncodingError& e) {
        EXPECT_NE(std::string(e.what()).find("ghost/😀.txt"), std::string::npos);
    }
    EXPECT_FALSE(IsCp932Representable("😀"));
    EXPECT_TRUE(IsCp932Representable("表"));
    EXPECT_EQ(Utf8ToCp932Lossy("a😀表"), "a?\x95\x5C");
}

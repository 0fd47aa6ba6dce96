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

TEST(Cp932, NamesEncodeStrictlyToAFormOfTheirOwn) {
    // Characters with a double-byte form pass, also where two of them share it.
    EXPECT_EQ(Utf8ToCp932("〜"), "\x81\x60");
    EXPECT_EQ(Utf8ToCp932("～"), "\x81\x60");
    EXPECT_EQ(Utf8ToCp932("−—‖¢£¬"), "\x81\x7C\x81\x5C\x81\x61\x81\x91\x81\x92\x81\xCA");
    EXPECT_EQ(Utf8ToCp932("ﾐｸ"), "\xD0\xB8");
    // A non-ASCII character that would become an ASCII byte names another file: U+00A5 would be the path
    // separator, U+203E a tilde.
    for (const char* name : {"a¥b.txt", "‾.txt", "x/¥"}) {
        EXPECT_THROW(Utf8ToCp932(name), EEncodingError) << name;
        EXPECT_FALSE(IsCp932Representable(name)) << name;
        std::string out;
        EXPECT_FALSE(TryUtf8ToCp932(name, out)) << name;
    }
    EXPECT_THROW(Utf8ToCp932("a\xFF"), EEncodingError); // not UTF-8 at all
    EXPECT_EQ(Utf8ToCp932Lossy("a¥b"), "a\\b");         // for display the platform's glyph is fine
}

TEST(Cp932, LossyEncoderReplacesExactlyTheBadCharacterOrByte) {
    // A stray continuation byte, a cut-off sequence and a character without a form each cost one '?'.
    EXPECT_EQ(Utf8ToCp932Lossy("a\x80"
                               "bc"),
              "a?bc");
    EXPECT_EQ(Utf8ToCp932Lossy("\xE8\xA1"
                               "Z表"),
              "??Z\x95\x5C");
    EXPECT_EQ(Utf8ToCp932Lossy("😀😀x"), "??x");
}

TEST(Cp932, Utf16BothByteOrdersRoundTrip) {
    std::string text = "[General]\r\nName=ﾐｸ😀表\r\n";
    for (bool big : {false, true}) {
        std::string bytes = Utf8ToUtf16(text, big);
        EXPECT_EQ(bytes.substr(0, 2), big ? std::string("\0[", 2) : std::string("[\0", 2));
        EXPECT_EQ(Utf16ToUtf8(bytes, big), text);
    }
    EXPECT_EQ(Utf16ToUtf8(std::string("a\0\x00\xD8", 4), false), "a\xEF\xBF\xBD"); // a lone surrogate
}

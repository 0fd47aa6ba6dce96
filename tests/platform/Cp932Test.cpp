#include "platform/Cp932.h"
#include "platform/Errors.h"
#include "support/TestData.h"

#include <cstdio>
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
    EXPECT_EQ(Utf8ToCp932("～"), "\x81\x60");
    if (SevenHaveSharedForms) {
        EXPECT_EQ(Utf8ToCp932("〜"), "\x81\x60");
        EXPECT_EQ(Utf8ToCp932("−—‖¢£¬"), "\x81\x7C\x81\x5C\x81\x61\x81\x91\x81\x92\x81\xCA");
    } else {
        for (const char* name : {"〜", "−", "—", "‖", "¢", "£", "¬"})
            EXPECT_THROW(Utf8ToCp932(name), EEncodingError) << name;
    }
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
    // For display the platform's glyph is fine (glibc's table has one, Windows' exact one none).
    EXPECT_EQ(Utf8ToCp932Lossy("a¥b"), SevenHaveSharedForms ? "a\\b" : "a?b");
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

namespace {

std::string utf8Of(char32_t cp) {
    std::string s;
    if (cp < 0x80) {
        s += static_cast<char>(cp);
    } else if (cp < 0x800) {
        s += static_cast<char>(0xC0 | (cp >> 6));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        s += static_cast<char>(0xE0 | (cp >> 12));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        s += static_cast<char>(0xF0 | (cp >> 18));
        s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return s;
}

} // namespace

TEST(Cp932, TagCharactersHaveNoFormAndAreRefused) {
    // The platform's converter drops them without a word; the strict encoder must not.
    for (char32_t cp = 0xE0000; cp <= 0xE007F; ++cp) {
        std::string text = "a" + utf8Of(cp) + "b", out;
        EXPECT_FALSE(TryUtf8ToCp932(text, out)) << std::hex << static_cast<unsigned>(cp);
        EXPECT_FALSE(TryUtf8ToCp932Exact(text, out));
    }
    EXPECT_THROW(Utf8ToCp932("ghost\xF3\xA0\x80\x81.txt"), EEncodingError);
    EXPECT_EQ(Utf8ToCp932Lossy("a\xF3\xA0\x80\x81"
                               "b"),
              "a?b");
}

TEST(Cp932, EveryCodePointEncodesToAFormOfItsOwnOrIsRefused) {
    // An exhaustive check: what the strict encoder accepts is one CP932 character that decodes back to the
    // same character, except for the seven whose form another character owns; the exact encoder accepts
    // exactly the characters that come back.
    const std::u32string seven = U"\u00A2\u00A3\u00AC\u2014\u2016\u2212\u301C";
    size_t accepted = 0, exact = 0;
    for (char32_t cp = 1; cp <= 0x10FFFF; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF)
            continue;
        std::string text = utf8Of(cp), out, exactOut;
        bool strict = TryUtf8ToCp932(text, out);
        bool same = TryUtf8ToCp932Exact(text, exactOut);
        if (!strict) {
            ASSERT_FALSE(same) << std::hex << static_cast<unsigned>(cp);
            continue;
        }
        ++accepted;
        ASSERT_FALSE(out.empty()) << std::hex << static_cast<unsigned>(cp);
        ASSERT_LE(out.size(), 2u) << std::hex << static_cast<unsigned>(cp);
        bool comesBack = Cp932ToUtf8(out) == text;
        ASSERT_EQ(same, comesBack) << std::hex << static_cast<unsigned>(cp);
        ASSERT_EQ(!comesBack, SevenHaveSharedForms && seven.find(cp) != std::u32string::npos)
            << std::hex << static_cast<unsigned>(cp);
        if (same) {
            ++exact;
            ASSERT_EQ(exactOut, out);
        }
    }
    EXPECT_EQ(accepted - exact, SevenHaveSharedForms ? 7u : 0u);
    std::printf("CP932: %zu code points have a form, %zu of them decode back\n", accepted, exact);
}

TEST(Cp932, UndecodableBytesBecomeLoneSurrogatesThatKeepThem) {
    EXPECT_TRUE(IsValidCp932("a\x95\x5C\xB1"));
    for (const char* bad : {"\x80", "\xA0", "\xFD", "\xFE", "\xFF", "\x81 ", "x\x81"}) {
        EXPECT_FALSE(IsValidCp932(bad)) << bad;
    }
    std::string cp = std::string("a\x80\x81 \x95\x5C\xFF", 7);
    EXPECT_EQ(Cp932ToUtf16(cp, false), std::string("a\0\x80\xDC\x81\xDC \0\x68\x88\xFF\xDC", 12));
    EXPECT_EQ(Cp932ToUtf16(cp, true), std::string("\0a\xDC\x80\xDC\x81\0 \x88\x68\xDC\xFF", 12));
    // Decoding them gives U+FFFD, as for any lone surrogate.
    EXPECT_EQ(Utf16ToUtf8(Cp932ToUtf16(cp, false), false), "a\xEF\xBF\xBD\xEF\xBF\xBD 表\xEF\xBF\xBD");
}

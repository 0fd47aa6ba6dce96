#include "updatelist/MD5.h"
#include "support/ReferenceMd5.h"
#include "support/TempDir.h"
#include "support/TestData.h"

#include <gtest/gtest.h>
#include <random>

TEST(MD5, Rfc1321TestSuite) {
    EXPECT_EQ(MD5String(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(MD5String("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(MD5String("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(MD5String("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(MD5String("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(MD5String("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(MD5String("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(MD5, PiecewiseUpdatesMatchTheReferenceAtEveryBlockBoundary) {
    std::string data = RandomBytes(1000, 7);
    for (size_t len : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 128u, 1000u}) {
        for (size_t chunk : {1u, 3u, 63u, 64u, 100u}) {
            MD5Context ctx;
            MD5Init(ctx);
            for (size_t pos = 0; pos < len; pos += chunk)
                MD5Update(ctx, data.data() + pos, std::min(chunk, len - pos));
            EXPECT_EQ(MD5Final(ctx), ReferenceMd5(std::string_view(data).substr(0, len)))
                << len << "/" << chunk;
        }
    }
}

TEST(MD5, FinalWipesTheContext) {
    MD5Context ctx;
    MD5Init(ctx);
    MD5Update(ctx, "abc", 3);
    MD5Final(ctx);
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&ctx);
    for (size_t i = 0; i < sizeof ctx; ++i)
        ASSERT_EQ(bytes[i], 0) << "byte " << i;
}

TEST(MD5File, DigestsWholeFilesAcrossReadBoundaries) {
    TempDir dir;
    for (size_t size : {0u, 1u, 8191u, 8192u, 8193u, 3 * 8192u + 5, 1u << 20}) {
        std::string data = RandomBytes(size, static_cast<unsigned>(size));
        std::string path = dir.write("f" + std::to_string(size), data);
        EXPECT_EQ(MD5File(path), ReferenceMd5(data)) << size;
    }
    EXPECT_EQ(MD5File(dir.write("empty", "")), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(MD5File, UnreadableGivesEmptyText) {
    TempDir dir;
    EXPECT_EQ(MD5File(dir / "missing.txt"), "");
    EXPECT_EQ(MD5File(dir.mkdir("folder")), "");
}

#include "platform/Clock.h"
#include "support/ScopedEnv.h"
#include "support/Shell.h"
#include "support/TempDir.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

namespace {

// Compiles a locale from the system's locale sources into `dir`; false where that is not possible.
bool compileLocale(const TempDir& dir, const std::string& name, const std::string& source) {
    int status = -1;
    RunShell("localedef -i " + source + " -f UTF-8 '" + dir.path() + name + "' 2>/dev/null", &status);
    return status == 0;
}

} // namespace

TEST(Clock, DateAndTimeComeInTheFormatsOfTheUsersLocale) {
    const std::tm when = LocalTime(2007, 3, 5, 14, 7, 9);
    {
        ScopedEnv all("LC_ALL", "C");
        EXPECT_EQ(FormatShortDate(when), "03/05/07");
        EXPECT_EQ(FormatLongTime(when), "14:07:09");
    }
    TempDir locales;
    if (!compileLocale(locales, "de_DE.UTF-8", "de_DE") || !compileLocale(locales, "ja_JP.UTF-8", "ja_JP"))
        GTEST_SKIP() << "localedef cannot build the test locales (package locales)";
    ScopedEnv path("LOCPATH", locales.path());
    {
        ScopedEnv all("LC_ALL", "de_DE.UTF-8");
        EXPECT_EQ(FormatShortDate(when), "05.03.2007");
        EXPECT_EQ(FormatLongTime(when), "14:07:09");
    }
    {
        // Only the time category counts.
        ScopedEnv all("LC_ALL", "");
        ScopedEnv other("LC_MESSAGES", "de_DE.UTF-8");
        ScopedEnv time("LC_TIME", "ja_JP.UTF-8");
        EXPECT_EQ(FormatShortDate(when), "2007年03月05日");
        EXPECT_EQ(FormatLongTime(when), "14時07分09秒");
    }
    {
        // A locale that is not there gives the "C" formats.
        ScopedEnv all("LC_ALL", "xx_XX.UTF-8");
        EXPECT_EQ(FormatShortDate(when), "03/05/07");
    }
}

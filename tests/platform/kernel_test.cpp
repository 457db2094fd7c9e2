// Global memory, clipboard formats, time, locales, the time zone and the message table.
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "case_names.h"
#include "corvane/platform/TestHooks.h"
#include "corvane/platform/VariantTime.h"
#include "winbase.h"

namespace {

TEST(GlobalMemory, BlocksAreZeroedSizedAndCheckedOnUse) {
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 12);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GlobalSize(h), 12u);
    auto* p = static_cast<BYTE*>(GlobalLock(h));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(p[i], 0);
    p[3] = 7;
    EXPECT_EQ(GlobalUnlock(h), FALSE);
    EXPECT_EQ(GlobalFree(h), nullptr);
    // The handle is dead now: every call refuses it instead of touching freed memory.
    EXPECT_EQ(GlobalLock(h), nullptr);
    EXPECT_EQ(GlobalSize(h), 0u);
    EXPECT_EQ(GlobalFree(h), h);
    auto forged = reinterpret_cast<HGLOBAL>(std::uintptr_t{0xdeadbeef});
    EXPECT_EQ(GlobalLock(forged), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(ClipboardFormats, SameNameSameIdWithoutLetterCase) {
    const UINT a = RegisterClipboardFormat("OPCSTMFORMATDATA");
    const UINT b = RegisterClipboardFormat("OPCSTMFORMATDATATIME");
    EXPECT_GE(a, 0xC000u);
    EXPECT_LE(a, 0xFFFFu);
    EXPECT_NE(a, b);
    EXPECT_EQ(RegisterClipboardFormat("opcstmformatdata"), a);
    EXPECT_EQ(RegisterClipboardFormat(u"OPCSTMFORMATDATA"), a);
    char name[64];
    EXPECT_EQ(GetClipboardFormatNameA(b, name, sizeof name), 20);
    EXPECT_STREQ(name, "OPCSTMFORMATDATATIME");
    EXPECT_EQ(RegisterClipboardFormat(""), 0u);
    corvane::platform::SetClipboardFormatFailure(
        [](const char* n) { return std::strcmp(n, "OPCSTMFORMATWRITECOMPLETE") == 0; });
    EXPECT_EQ(RegisterClipboardFormat("OPCSTMFORMATWRITECOMPLETE"), 0u);
    corvane::platform::SetClipboardFormatFailure(nullptr);
    EXPECT_NE(RegisterClipboardFormat("OPCSTMFORMATWRITECOMPLETE"), 0u);
}

TEST(SystemTime, FileTimeIsUtcSince1601) {
    FILETIME ft{};
    GetSystemTimeAsFileTime(&ft);
    const std::uint64_t v = corvane::platform::FileTimeToU64(ft);
    EXPECT_GT(v, 116444736000000000ULL + 1600000000ULL * 10000000ULL);  // after 2020
    SYSTEMTIME st{};
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &st));
    EXPECT_GE(st.wYear, 2020);
    FILETIME back{};
    ASSERT_TRUE(SystemTimeToFileTime(&st, &back));
    EXPECT_EQ(corvane::platform::FileTimeToU64(back) / 10000, v / 10000);
}

TEST(SystemTime, TickCountFollowsTheInjectedClock) {
    corvane::platform::SetTickSource([] { return std::uint64_t{123456}; });
    EXPECT_EQ(GetTickCount(), 123456u);
    corvane::platform::SetTickSource(nullptr);
}

class Environment : public ::testing::Test {
  protected:
    void Set(const char* name, const char* value) {
        const char* old = std::getenv(name);
        saved_.push_back({name, old ? std::string(old) : std::string(), old != nullptr});
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    void TearDown() override {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->had)
                setenv(it->name.c_str(), it->value.c_str(), 1);
            else
                unsetenv(it->name.c_str());
        }
        tzset();
    }

  private:
    struct Saved {
        std::string name, value;
        bool had;
    };
    std::vector<Saved> saved_;
};

struct LocaleCase {
    const char* lcAll;
    const char* lcMessages;
    const char* lang;
    LCID user;
    LCID system;
};

const LocaleCase kLocaleCases[] = {
    {nullptr, nullptr, nullptr, 0x409, 0x409},
    {nullptr, nullptr, "C", 0x409, 0x409},
    {nullptr, nullptr, "de_DE.UTF-8", 0x407, 0x407},
    {"fr_FR.UTF-8", nullptr, "de_DE.UTF-8", 0x40C, 0x407},
    {nullptr, "vi_VN", "en_GB.UTF-8", 0x42A, 0x809},
    {nullptr, nullptr, "de_LU.UTF-8@euro", 0x407, 0x407},
    {nullptr, nullptr, "xx_YY", 0x409, 0x409},
};

class LocaleTable : public Environment, public ::testing::WithParamInterface<LocaleCase> {};

TEST_P(LocaleTable, DefaultsComeFromTheEnvironment) {
    const LocaleCase& c = GetParam();
    Set("LC_ALL", c.lcAll);
    Set("LC_MESSAGES", c.lcMessages);
    Set("LANG", c.lang);
    EXPECT_EQ(GetUserDefaultLCID(), c.user);
    EXPECT_EQ(GetSystemDefaultLCID(), c.system);
}

// Named by the variables set, "LcAll_fr_FR_UTF_8_Lang_de_DE_UTF_8".
std::string LocaleCaseName(const LocaleCase& c) {
    std::string name;
    for (const auto& [variable, value] :
         {std::pair{"LcAll", c.lcAll}, {"LcMessages", c.lcMessages}, {"Lang", c.lang}}) {
        if (!value) continue;
        if (!name.empty()) name += '_';
        name += std::string(variable) + '_' + corvane::test::CaseName(value);
    }
    return name.empty() ? "NothingSet" : name;
}

INSTANTIATE_TEST_SUITE_P(Values, LocaleTable, ::testing::ValuesIn(kLocaleCases),
                         [](const auto& info) { return LocaleCaseName(info.param); });

TEST_F(Environment, TimeZoneBiasIsMinutesFromLocalStandardTimeToUtc) {
    TIME_ZONE_INFORMATION tzi{};
    Set("TZ", "UTC0");
    EXPECT_EQ(GetTimeZoneInformation(&tzi), static_cast<DWORD>(TIME_ZONE_ID_UNKNOWN));
    EXPECT_EQ(tzi.Bias, 0);
    Set("TZ", "EST5EDT");
    GetTimeZoneInformation(&tzi);
    EXPECT_EQ(tzi.Bias, 300);
    EXPECT_EQ(tzi.DaylightBias, -60);
    Set("TZ", "IST-5:30");
    GetTimeZoneInformation(&tzi);
    EXPECT_EQ(tzi.Bias, -330);
}

struct MessageCase {
    DWORD code;
    DWORD language;
    const char* text;  // nullptr: no text
};

const MessageCase kMessages[] = {
    {0x80004005, 0, "Unspecified error\r\n"},
    {0x80004001, 0x409, "Not implemented\r\n"},
    {0x80070057, 0x409, "The parameter is incorrect.\r\n"},
    {87, 0x809, "The parameter is incorrect.\r\n"},
    {0x8007000E, LANG_SYSTEM_DEFAULT,
     "Not enough storage is available to complete this operation.\r\n"},
    {0x80020005, LANG_USER_DEFAULT, "Type mismatch.\r\n"},
    {0x8002000A, 0x409, "Out of present range.\r\n"},
    {0x80040154, 0x409, "Class not registered\r\n"},
    {0x80004005, 0x407, nullptr},  // no German texts
    {0xC0040004, 0x409, nullptr},  // OPC codes are not the system's
    {0x12345678, 0x409, nullptr},
};

class MessageTable : public ::testing::TestWithParam<MessageCase> {};

TEST_P(MessageTable, HoldsTheStandardEnglishTexts) {
    const MessageCase& c = GetParam();
    char buffer[256];
    std::memset(buffer, 'x', sizeof buffer);
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, c.code, c.language, buffer, sizeof buffer, nullptr);
    if (c.text) {
        EXPECT_EQ(n, std::strlen(c.text));
        EXPECT_STREQ(buffer, c.text);
    } else {
        EXPECT_EQ(n, 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Values, MessageTable, ::testing::ValuesIn(kMessages),
                         [](const auto& info) {
                             return "Code" + corvane::test::HexName(info.param.code) + "_Language" +
                                    corvane::test::HexName(info.param.language, 4);
                         });

TEST(MessageTableBuffer, TooSmallBufferGivesNothing) {
    char buffer[8];
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 0x80004005, 0, buffer,
                             sizeof buffer, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

}  // namespace

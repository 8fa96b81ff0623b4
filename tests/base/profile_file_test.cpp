#include "profile_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>

#include "support/test_files.h"
#include "utf8_text.h"

namespace {

using namespace std::string_literals;

// One settings file at a time, read the way the viewer reads its keys.
// text as a UTF-16 file with its byte-order mark.
std::string Utf16File(std::u16string_view text, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

class ProfileFileTest : public ::testing::Test {
  protected:
    TempDir dir;

    std::string Write(const std::string& content) {
        const std::string path = dir.File("ravk.ini");
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    std::string String(const std::string& content, const std::string& key = "DLL") {
        return ReadProfileString(Write(content), "ravk", key, "<default>", 1023);
    }
    std::string StringCut(const std::string& content, std::size_t maxChars) {
        return ReadProfileString(Write(content), "ravk", "DLL", "", maxChars);
    }
    std::uint32_t Int(const std::string& value) {
        return ReadProfileInt(Write("[ravk]\nH1_max=" + value + "\n"), "ravk", "H1_max", 77);
    }
};

TEST_F(ProfileFileTest, ValueLosesOuterBlanksAndOneMatchingQuotePairOnly) {
    EXPECT_EQ(String("[ravk]\nDLL =  \tmy plug in.so \t \n"), "my plug in.so");
    EXPECT_EQ(String("[ravk]\nDLL=\"  spaced  \"\n"), "  spaced  ");
    EXPECT_EQ(String("[ravk]\nDLL='a.so'\n"), "a.so");
    EXPECT_EQ(String("[ravk]\nDLL=\"\"a.so\"\"\n"), "\"a.so\"");
    EXPECT_EQ(String("[ravk]\nDLL=\"a.so'\n"), "\"a.so'");
    EXPECT_EQ(String("[ravk]\nDLL=\"\n"), "\"");
    EXPECT_EQ(String("[ravk]\nDLL=a=b;c\n"), "a=b;c");
    EXPECT_EQ(String("[ravk]\nDLL=C:\\x\\y.dll\n"), "C:\\x\\y.dll");
}

TEST_F(ProfileFileTest, MissingKeyGivesDefaultButBareKeyGivesEmpty) {
    EXPECT_EQ(String("[ravk]\nother=1\n"), "<default>");
    EXPECT_EQ(String("[ravk]\n  DLL  \nDLL=late.so\n"), "");
    EXPECT_EQ(Int(""), 77u);
}

TEST_F(ProfileFileTest, SectionAndKeyNamesIgnoreAsciiCase) {
    EXPECT_EQ(String("[RaVK]\ndll=a.so\n"), "a.so");
    EXPECT_EQ(String("[ ravk ]\n  Dll\t= b.so\n"), "b.so");
    EXPECT_EQ(ReadProfileInt(Write("[ravk]\nh1_MAX=9\n"), "RAVK", "H1_max", 0), 9u);
}

TEST_F(ProfileFileTest, FirstSectionAndFirstKeyWin) {
    EXPECT_EQ(String("[ravk]\nDLL=first.so\nDLL=second.so\n"), "first.so");
    EXPECT_EQ(String("[ravk]\nH1_max=1\n[ravk]\nDLL=later.so\n"), "<default>");
    EXPECT_EQ(String("[ravk]\nDLL=a.so\n[RAVK]\nDLL=b.so\n"), "a.so");
    EXPECT_EQ(String("[other]\nDLL=o.so\n[ravk]\nDLL=r.so\n"), "r.so");
    EXPECT_EQ(String("DLL=nosection.so\n[ravk]\n"), "<default>");
    EXPECT_EQ(String("[ravkx]\nDLL=x.so\n[rav]\nDLL=y.so\n"), "<default>");
}

TEST_F(ProfileFileTest, CommentsBlankLinesBomAndLineEndsAreHonoured) {
    EXPECT_EQ(String("; [ravk]\n\n  ;DLL=c.so\n[ravk]\n ; DLL=c.so\n\t\nDLL=d.so\n"), "d.so");
    EXPECT_EQ(String("\xEF\xBB\xBF[ravk]\nDLL=bom.so\n"), "bom.so");
    EXPECT_EQ(String("[ravk]\r\nDLL=crlf.so\r\nH1_max=1\r\n"), "crlf.so");
    EXPECT_EQ(String("[ravk]\rDLL=cr.so\rH1_max=1"), "cr.so");
    EXPECT_EQ(String("[ravk]\r\rDLL=cr.so  \r"), "cr.so");
    EXPECT_EQ(String("[ravk]\nDLL=noeol.so"), "noeol.so");
    // A byte-order mark anywhere else is ordinary text.
    EXPECT_EQ(String("[ravk]\n\xEF\xBB\xBF"
                     "DLL=x.so\n"),
              "<default>");
}

TEST_F(ProfileFileTest, IntegersFollowTheProfileReaderRules) {
    EXPECT_EQ(Int("42"), 42u);
    EXPECT_EQ(Int("  +42  "), 42u);
    EXPECT_EQ(Int("\" 7\""), 7u);
    EXPECT_EQ(Int("0x1F"), 31u);
    EXPECT_EQ(Int("0XfF"), 255u);
    EXPECT_EQ(Int("-0x10"), 4294967280u);
    EXPECT_EQ(Int("12abc"), 12u);
    EXPECT_EQ(Int("0x"), 0u);
    EXPECT_EQ(Int("0xg1"), 0u);
    EXPECT_EQ(Int("1e3"), 1u);
    EXPECT_EQ(Int("abc"), 0u);
    EXPECT_EQ(Int("-"), 0u);
    EXPECT_EQ(Int("- 5"), 0u);
    EXPECT_EQ(Int("--5"), 0u);
    EXPECT_EQ(Int("-1"), 4294967295u);
    EXPECT_EQ(Int("4294967295"), 4294967295u);
    EXPECT_EQ(Int("4294967296"), 0u);
    EXPECT_EQ(Int("4294967301"), 5u);
    EXPECT_EQ(Int("0x100000007"), 7u);
    EXPECT_EQ(Int("99999999999999999999"), 1661992959u);  // 10^20 - 1 modulo 2^32
}

TEST_F(ProfileFileTest, NulEndsTheLineText) {
    EXPECT_EQ(String("[ravk]\nDLL=ab\0cd\nH1_max=3\n"s), "ab");
    EXPECT_EQ(String("[ravk]\nDLL=\0x.so\nDLL=y.so\n"s), "");
    EXPECT_EQ(String("[ravk]\nDL\0L=x.so\n"s), "<default>");
    EXPECT_EQ(Int("1\0"s + "9"), 1u);
}

TEST_F(ProfileFileTest, LongValuesAreCutToTheBuffer) {
    const std::string name(1500, 'p');
    EXPECT_EQ(String("[ravk]\nDLL=" + name + "\n"), name.substr(0, 1023));
    EXPECT_EQ(String("[ravk]\nDLL=\"" + name + "\"\n"), name.substr(0, 1023));
    EXPECT_EQ(ReadProfileString(Write("[ravk]\nDLL=abcdef\n"), "ravk", "DLL", "", 3), "abc");
}

TEST_F(ProfileFileTest, ValuesAreUtf8FromUtf16FilesAndLegacyTextAndCutBetweenCharacters) {
    struct Case {
        std::string content;
        std::size_t maxChars;
        std::string value;
    };
    std::string e511;
    for (int i = 0; i < 511; ++i) {
        e511 += "é";
    }
    const Case cases[] = {
        {Utf16File(u"; カメラ\r\n[Ravk]\r\nDLL = カメラ.dll\r\nH1_max=1\r\n", false), 1023,
         "カメラ.dll"},
        // A pair, a lone low surrogate, a lone high one before 'x' and at the end.
        {Utf16File(u"[ravk]\nDLL=\U0001F600\xDC00\xD800x\xD800", true), 1023,
         "\U0001F600\uFFFD\uFFFDx\uFFFD"},
        {Utf16File(u"[ravk]\nDLL=a\0b\n"s, false), 1023, "a"},
        {"[ravk]\nDLL=" + e511 + "éé\n", 1023, e511},
        {"[ravk]\nDLL=aカ\n", 3, "a"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StringCut(c.content, c.maxChars), c.value);
    }

    // Not UTF-8: a Shift-JIS "あ" and two bytes that UTF-8 never holds.
    const std::string legacy = "\x82\xA0\xFF\xFE.dll";
    const std::string value = String("[ravk]\nDLL=" + legacy + "\n");
#ifdef _WIN32
    EXPECT_TRUE(IsValidUtf8(value) && value != legacy && value.ends_with(".dll")) << value;
#else
    EXPECT_EQ(value, legacy);
#endif
}

}  // namespace

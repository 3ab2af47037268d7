#include "platform/IniFile.h"

#include "platform/CodePage.h"

#include "unit/TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orblane {
namespace {

using test::TempFolder;
using test::Utf16Le;

class IniFileTest : public ::testing::Test
{
protected:
    std::u16string Read(std::string_view content, std::u16string_view section, std::u16string_view key,
                        std::size_t buffer = 520)
    {
        return ReadIniString(folder.Write("test.ini", content), section, key, buffer);
    }
    TempFolder folder;
};

// A settings file that is a FIFO (or any non-file) reads as absent: opening it for reading must not wait for a writer
// that never comes, which would hang the viewer before its first window.
TEST_F(IniFileTest, AFifoInPlaceOfTheFileReadsAsAbsentWithoutBlocking)
{
#if defined(_WIN32)
    GTEST_SKIP() << "Windows has no FIFOs in its file systems";
#else
    const std::string path = folder.Path("fifo.ini");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    auto read = std::async(std::launch::async, [&] { return ReadIniString(path, u"S", u"k", 520); });
    if (read.wait_for(std::chrono::seconds(10)) == std::future_status::timeout)
    {
        const int writer = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        read.wait();
        ::close(writer);
        FAIL() << "the read waited for a writer";
    }
    EXPECT_EQ(read.get(), u"");
#endif
}

TEST_F(IniFileTest, SectionsAndKeysMatchWithoutRegardToCase)
{
    const std::string_view ini = "[imagewindow]\nFrameThickness=3\n[ATTRIBUTEINFORMATION]\nFONTNAME=Arial\n";
    EXPECT_EQ(Read(ini, u"ImageWindow", u"framethickness"), u"3");
    EXPECT_EQ(Read(ini, u"AttributeInformation", u"fontname"), u"Arial");
    // Non-ASCII names fold too.
    EXPECT_EQ(Read("[Ä]\nÖ=1\n", u"ä", u"ö"), u"1");
}

TEST_F(IniFileTest, FirstKeyAndFirstSectionOfANameWin)
{
    const std::string_view ini = "[A]\nkey=first\nkey=second\n[B]\nother=1\n[A]\nkey=third\nlate=yes\n";
    EXPECT_EQ(Read(ini, u"A", u"key"), u"first");
    // A repeated section is not searched: the platform reader stops at the first one.
    EXPECT_EQ(Read(ini, u"A", u"late"), u"");
    // Keys of one section are not found in another.
    EXPECT_EQ(Read(ini, u"B", u"key"), u"");
}

TEST_F(IniFileTest, WhiteSpaceIsTrimmedAndMatchingQuotesAreRemoved)
{
    const std::string_view ini = "  [ Sec ]  \n\t name \t=  Lucida Sans Unicode  \r\n"
                                 "dq=\"  padded  \"\nsq='x'\nmixed=\"x'\nlone=\"\ninner=a \"b\" c\nempty=\"\"\n";
    EXPECT_EQ(Read(ini, u"Sec", u"name"), u"Lucida Sans Unicode");
    EXPECT_EQ(Read(ini, u"Sec", u"dq"), u"  padded  ");
    EXPECT_EQ(Read(ini, u"Sec", u"sq"), u"x");
    EXPECT_EQ(Read(ini, u"Sec", u"mixed"), u"\"x'");
    EXPECT_EQ(Read(ini, u"Sec", u"lone"), u"\"");
    EXPECT_EQ(Read(ini, u"Sec", u"inner"), u"a \"b\" c");
    EXPECT_EQ(Read(ini, u"Sec", u"empty"), u"");
}

TEST_F(IniFileTest, LinesThatAreNotKeyValueAreIgnored)
{
    const std::string_view ini = "outside=1\n[S]\n; comment=no\njust words\n[broken\n=nokey\nkey = a=b\n";
    EXPECT_EQ(Read(ini, u"S", u"key"), u"a=b");
    EXPECT_EQ(Read(ini, u"S", u"just words"), u"");
    EXPECT_EQ(Read(ini, u"", u"outside"), u"");
}

TEST_F(IniFileTest, ValuesAreCutToTheBufferLeavingRoomForTheTerminator)
{
    const std::string_view ini = "[S]\nk=abcdefgh\nq=\"abcdefgh\"\n";
    EXPECT_EQ(Read(ini, u"S", u"k", 5), u"abcd");
    EXPECT_EQ(Read(ini, u"S", u"q", 5), u"abcd");
    EXPECT_EQ(Read(ini, u"S", u"k", 9), u"abcdefgh");
    // A cut never leaves half of a surrogate pair: U+1F600 is two code units.
    EXPECT_EQ(Read("[S]\nk=ab\xF0\x9F\x98\x80\n", u"S", u"k", 4), u"ab");
}

TEST_F(IniFileTest, EncodingsFollowTheByteOrderMarkOrTheBytes)
{
    const std::string utf16le = [] {
        const auto bytes = Utf16Le(u"[S]\r\nname=Zoë €\r\n");
        return std::string(bytes.begin(), bytes.end());
    }();
    EXPECT_EQ(Read(utf16le, u"S", u"name"), u"Zoë €");

    std::string utf16be = "\xFE\xFF";
    for (const char16_t unit : std::u16string(u"[S]\nname=Zoë\n"))
    {
        utf16be.push_back(static_cast<char>(unit >> 8));
        utf16be.push_back(static_cast<char>(unit & 0xFF));
    }
    EXPECT_EQ(Read(utf16be, u"S", u"name"), u"Zoë");

    EXPECT_EQ(Read("\xEF\xBB\xBF[S]\nname=Zo\xC3\xAB\n", u"S", u"name"), u"Zoë");
    EXPECT_EQ(Read("[S]\nname=Zo\xC3\xAB\n", u"S", u"name"), u"Zoë");
    // Not UTF-8: the ANSI code page (Windows-1252: 0xEB is ë, 0x80 the euro sign; Windows-1251: 0xEB is л).
    SetDefaultAnsiCodePage(1252);
    EXPECT_EQ(Read("[S]\nname=Zo\xEB \x80\n", u"S", u"name"), u"Zoë €");
    SetDefaultAnsiCodePage(1251);
    EXPECT_EQ(Read("[S]\nname=Zo\xEB\n", u"S", u"name"), u"Zoл");
    SetDefaultAnsiCodePage(0);
}

TEST_F(IniFileTest, MissingFileSectionOrKeyReadsEmpty)
{
    EXPECT_EQ(ReadIniString(folder.Path("absent.ini"), u"S", u"k", 520), u"");
    EXPECT_EQ(Read("[S]\nk=1\n", u"T", u"k"), u"");
    EXPECT_EQ(Read("", u"S", u"k"), u"");
    EXPECT_EQ(ReadIniString(folder.Folder(), u"S", u"k", 520), u""); // a folder is no file
}

TEST_F(IniFileTest, IntegersFallBackOnlyWhenMissingOrEmpty)
{
    const std::string path = folder.Write("int.ini", "[S]\nnum= 42 \nneg=-3\nhex=0x1F\nbin=0b101\n"
                                                     "word=abc\nlead=9px\nempty=\nquoted=\"7\"\n");
    EXPECT_EQ(ReadIniInt(path, u"S", u"num", 5), 42);
    EXPECT_EQ(ReadIniInt(path, u"S", u"neg", 5), -3);
    EXPECT_EQ(ReadIniInt(path, u"S", u"hex", 5), 31);
    EXPECT_EQ(ReadIniInt(path, u"S", u"bin", 5), 5);
    EXPECT_EQ(ReadIniInt(path, u"S", u"word", 5), 0);
    EXPECT_EQ(ReadIniInt(path, u"S", u"lead", 5), 9);
    EXPECT_EQ(ReadIniInt(path, u"S", u"empty", 5), 5);
    EXPECT_EQ(ReadIniInt(path, u"S", u"missing", 5), 5);
    EXPECT_EQ(ReadIniInt(path, u"S", u"quoted", 5), 7);
    EXPECT_EQ(ReadIniInt(folder.Path("absent.ini"), u"S", u"num", 1000), 1000);
}

// Many keys from one read: the snapshot answers for the file as it was, even once the file has gone.
TEST_F(IniFileTest, ASnapshotAnswersFromItsOneRead)
{
    const std::string path = folder.Write("snap.ini", "[S]\nname=\"Anna\"\nnum=0x10\n");
    const IniFileSnapshot file(path);
    ASSERT_EQ(::unlink(path.c_str()), 0);
    EXPECT_EQ(file.String(u"s", u"NAME", 520), u"Anna");
    EXPECT_EQ(file.String(u"S", u"name", 3), u"An");
    EXPECT_EQ(file.Int(u"S", u"num", 5), 16);
    EXPECT_EQ(file.Int(u"S", u"missing", 5), 5);
    const IniFileSnapshot absent(path);
    EXPECT_EQ(absent.String(u"S", u"name", 520), u"");
    EXPECT_EQ(absent.Int(u"S", u"num", 5), 5);
}

} // namespace
} // namespace orblane

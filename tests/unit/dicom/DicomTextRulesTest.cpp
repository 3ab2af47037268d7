#include "dicom/DicomTextRules.h"

#include <gtest/gtest.h>

namespace orblane {
namespace {

std::string Date(std::string_view value)
{
    return FormatDicomDate(AsBytes(value));
}

std::string DateTime(std::string_view date, std::optional<std::string_view> time, DateTimeForm form)
{
    return FormatDicomDateTime(AsBytes(date), time ? std::optional<ByteView>(AsBytes(*time)) : std::nullopt, form);
}

TEST(DicomTextRulesTest, DatesAreLaidOutWithoutValidation)
{
    EXPECT_EQ(Date("19701231"), "1970.12.31");
    EXPECT_EQ(Date("197012"), "1970.12");
    EXPECT_EQ(Date("19701"), "1970");
    EXPECT_EQ(Date("197"), "");
    EXPECT_EQ(Date(""), "");
    // Old-style dates keep their periods where the layout puts digits: garbage in, garbage shown.
    EXPECT_EQ(Date("1970.12.31"), "1970..1.2.");
}

TEST(DicomTextRulesTest, DateTimeShortFormStopsAtTheSecondsAndLongFormKeepsTheFraction)
{
    EXPECT_EQ(DateTime("19991231", "235959.123456", DateTimeForm::Short), "1999.12.31 23:59:59");
    EXPECT_EQ(DateTime("19991231", "235959.123456", DateTimeForm::Long), "1999.12.31 23:59:59.123456");
    EXPECT_EQ(DateTime("19991231", "235959.1 ", DateTimeForm::Long), "1999.12.31 23:59:59.1 ");
    EXPECT_EQ(DateTime("20240131", std::nullopt, DateTimeForm::Long), "2024.01.31");
    EXPECT_EQ(DateTime("20240131", "1", DateTimeForm::Long), "2024.01.31");
    EXPECT_EQ(DateTime("20240131", "12", DateTimeForm::Short), "2024.01.31 12");
    EXPECT_EQ(DateTime("20240131", "1230", DateTimeForm::Short), "2024.01.31 12:30");
    // Seven bytes have no fraction digit yet: the long form adds nothing after the seconds.
    EXPECT_EQ(DateTime("20240131", "123000.", DateTimeForm::Long), "2024.01.31 12:30:00");
    // A date shorter than eight bytes leaves a NUL at position 9 that hides the time.
    EXPECT_EQ(DateTime("202401", "123000", DateTimeForm::Short), "2024.01");
}

TEST(DicomTextRulesTest, LongFormIsCutAtFortySevenCharacters)
{
    const std::string time = "120000." + std::string(40, '9');
    const std::string text = DateTime("20240131", time, DateTimeForm::Long);
    EXPECT_EQ(text.size(), 47u);
    EXPECT_EQ(text, "2024.01.31 12:00:00." + std::string(27, '9'));
}

TEST(DicomTextRulesTest, PersonNameShowsTheFirstNonEmptyOfIdeographicAlphabeticPhonetic)
{
    EXPECT_EQ(ChoosePersonNameGroup(u"A^B=C^D=E^F"), u"C^D");
    EXPECT_EQ(ChoosePersonNameGroup(u"A^B==E^F"), u"A^B");
    EXPECT_EQ(ChoosePersonNameGroup(u"==E^F"), u"E^F");
    EXPECT_EQ(ChoosePersonNameGroup(u"A^B"), u"A^B");
    EXPECT_EQ(ChoosePersonNameGroup(u"="), u"");
    EXPECT_EQ(ChoosePersonNameGroup(u""), u"");
    // Everything after the second = is phonetic, further = signs included.
    EXPECT_EQ(ChoosePersonNameGroup(u"==E=F"), u"E=F");
}

TEST(DicomTextRulesTest, ConvertedTextsEndAtTheirFirstNul)
{
    EXPECT_EQ(ConvertPlainText(AsBytes(std::string_view("M\0", 2))), u"M");
    EXPECT_EQ(ConvertPlainText(AsBytes("M ")), u"M ");
    EXPECT_EQ(ConvertPlainText({}), u"");
}

} // namespace
} // namespace orblane

#include "core/Settings.h"

#include "support/CaseName.h"
#include "unit/TempFolder.h"

#include <gtest/gtest.h>

#include <climits>
#include <tuple>

namespace orblane {
namespace {

using test::TempFolder;

struct ColourCase
{
    const char* name;
    std::u16string_view value;
    int red, green, blue;
};

class ColourRuleTest : public ::testing::TestWithParam<ColourCase>
{
};

TEST_P(ColourRuleTest, GivesThePaletteRelativeColour)
{
    const ColourCase& c = GetParam();
    const ColourRef colour = ParseColour(c.value);
    EXPECT_EQ(colour & 0xFF000000u, 0x02000000u);
    EXPECT_EQ(std::make_tuple(int{ColourRed(colour)}, int{ColourGreen(colour)}, int{ColourBlue(colour)}),
              std::make_tuple(c.red, c.green, c.blue));
}

INSTANTIATE_TEST_SUITE_P(Values, ColourRuleTest,
                         ::testing::Values(ColourCase{"Default", u"200,200,0", 200, 200, 0},
                                           ColourCase{"TwoNumbers", u"255,0", 255, 0, 0},
                                           // adjacent commas are one separator
                                           ColourCase{"AdjacentCommas", u"200,,50", 200, 50, 0},
                                           ColourCase{"LeadingCommasAndAFourthNumber", u",,5,6,7", 5, 6, 7},
                                           // low 8 bits, no range check
                                           ColourCase{"LowEightBits", u"300,256,-1", 44, 0, 255},
                                           ColourCase{"SpacesAndTrailingText", u" 10 , 20x, 30 ,40", 10, 20, 30},
                                           // fewer than two numbers: the missing ones are 0
                                           ColourCase{"OneNumber", u"7", 7, 0, 0},
                                           ColourCase{"OnlyCommas", u",,,", 0, 0, 0},
                                           ColourCase{"Words", u"red,green,blue", 0, 0, 0}),
                         test::ByCaseName());

TEST(SettingsTest, ColourConstantIsTheDocumentedReference)
{
    EXPECT_EQ(ParseColour(u"200,200,0"), 0x0200C8C8u);
}

TEST(SettingsTest, ViewerSettingsTakeTheirDefaultsWithoutAFile)
{
    TempFolder folder;
    const ViewerSettings settings = ReadViewerSettings(folder.Path("Orblane.ini"));
    EXPECT_EQ(settings.overlayVisible, 1);
    EXPECT_EQ(settings.overlayTextColor, 0x0200C8C8u);
    EXPECT_EQ(settings.frameColor, 0x0200C8C8u);
    EXPECT_EQ(settings.idleFrameColor, MakePaletteColour(128, 128, 128));
    EXPECT_EQ(settings.frameThickness, 1);
    EXPECT_EQ(settings.frameInset.x, 1);
    EXPECT_EQ(settings.frameInset.y, 1);
    EXPECT_EQ(settings.wlWidthDivisor, 1000);
    EXPECT_EQ(settings.wlCentreDivisor, 1000);
    EXPECT_EQ(settings.overlayFont.face, u"Lucida Sans Unicode");
    EXPECT_EQ(settings.overlayFont.tenthsOfPoint, 120);
    EXPECT_DOUBLE_EQ(ReadZoomStep(folder.Path("Orblane.ini")), 1.2);
}

TEST(SettingsTest, ViewerSettingsReadTheFileAndApplyTheCorrections)
{
    TempFolder folder;
    const std::string path = folder.Write("Orblane.ini", "[ImageWindow]\nframecolor=255,0\nframethickness=9\n"
                                                         "[AttributeInformation]\nfontsize=10.55\nfontname=Arial\n"
                                                         "fontcolor=1,2,3\n[WindowLevelParam]\nwidth=0\nlevel=-40\n"
                                                         "[ERoperation]\nERmangnification=1.5\n");
    ViewerSettings settings = ReadViewerSettings(path);
    EXPECT_EQ(settings.frameColor, MakePaletteColour(255, 0, 0));
    EXPECT_EQ(settings.frameThickness, 5);
    EXPECT_EQ(settings.frameInset.x, 5);
    EXPECT_EQ(settings.overlayFont.tenthsOfPoint, 105);
    EXPECT_EQ(settings.overlayFont.face, u"Arial");
    EXPECT_EQ(settings.overlayTextColor, MakePaletteColour(1, 2, 3));
    EXPECT_EQ(settings.wlWidthDivisor, 1000);
    EXPECT_EQ(settings.wlCentreDivisor, -40);
    EXPECT_DOUBLE_EQ(ReadZoomStep(path), 1.5);

    folder.Write("Orblane.ini", "[ImageWindow]\nframethickness=0\n[AttributeInformation]\nfontsize=big\n");
    settings = ReadViewerSettings(path);
    EXPECT_EQ(settings.frameThickness, 1);
    EXPECT_EQ(settings.overlayFont.tenthsOfPoint, 0);

    folder.Write("Orblane.ini", "[ImageWindow]\nframethickness=-3\n[AttributeInformation]\nfontsize=1e300\n");
    settings = ReadViewerSettings(path);
    EXPECT_EQ(settings.frameThickness, 1);
    EXPECT_EQ(settings.frameInset.y, 1);
    EXPECT_EQ(settings.overlayFont.tenthsOfPoint, INT_MAX);
}

TEST(SettingsTest, UnusableZoomStepsFallBackToTheDefault)
{
    TempFolder folder;
    for (const char* value : {"abc", "0", "-2", "1e999"})
    {
        const std::string path =
            folder.Write("Orblane.ini", std::string("[ERoperation]\nERmangnification=") + value + "\n");
        EXPECT_DOUBLE_EQ(ReadZoomStep(path), 1.2) << value;
    }
}

TEST(SettingsTest, ImageCacheTakesWholeMegabytesAndLeavesEverythingElseToTheDefault)
{
    TempFolder folder;
    const std::pair<const char*, std::size_t> rows[] = {
        {"256", std::size_t{256} << 20},
        {" 64 ", std::size_t{64} << 20},
        {"1", std::size_t{1} << 20},
        {"1048576", std::size_t{1} << 40},
        {"1048577", 0},
        {"0", 0},
        {"-5", 0},
        {"abc", 0},
        {"512MB", 0},
        {"1e3", 0},
        {"99999999999999999999999", 0},
        {"", 0},
    };
    for (const auto& [value, bytes] : rows)
    {
        const std::string path =
            folder.Write("Orblane.ini", std::string("[DisplaySettings]\nImageCacheMB=") + value + "\n");
        EXPECT_EQ(ReadImageCacheBytes(path), bytes) << "'" << value << "'";
        EXPECT_EQ(ReadViewerSettings(path).imageCacheBytes, bytes) << "'" << value << "'";
    }
    EXPECT_EQ(ReadImageCacheBytes(folder.Path("none.ini")), 0u);
}

TEST(SettingsTest, StudyListTitlesAndHeaderFont)
{
    TempFolder folder;
    const std::string path = folder.Path("OrblInf.ini");
    const auto defaults = ReadStudyListColumnTitles(path);
    EXPECT_EQ(defaults[0], u"Patient's Name");
    EXPECT_EQ(defaults[4], u"Study DateTime");
    EXPECT_EQ(defaults[5], u"Modality");

    folder.Write("OrblInf.ini", "[InspectionList]\nsex=Geschlecht\nmodality=\n");
    const auto titles = ReadStudyListColumnTitles(path);
    EXPECT_EQ(titles[3], u"Geschlecht");
    EXPECT_EQ(titles[5], u"Modality");

    const auto header = [&](std::string_view body) {
        folder.Write("OrblInf.ini", std::string("[InspectionList]\n") + std::string(body));
        const FontChoice font = ReadStudyListHeaderFont(path);
        return std::make_pair(font.face, font.tenthsOfPoint);
    };
    const auto standard = std::make_pair(std::u16string(u"Lucida Sans Unicode"), 90);
    EXPECT_EQ(header("fonttype=Arial\nfontsize=11.9\n"), std::make_pair(std::u16string(u"Arial"), 110));
    EXPECT_EQ(header("fonttype=Arial\nfontsize=0.5\n"), standard);
    EXPECT_EQ(header("fontsize=14\n"), standard);
    EXPECT_EQ(header("fonttype=Arial\n"), standard);
    EXPECT_EQ(header("fonttype=Arial\nfontsize=-4\n"), standard);
}

TEST(SettingsTest, OkButtonsReadTheirCaptionAndFontEachTheirOwnWay)
{
    TempFolder folder;
    const std::string path = folder.Path("OrblInf.ini");
    EXPECT_EQ(ReadErrorDialogOkCaption(path), u"OK");
    EXPECT_FALSE(ReadVersionDialogOkCaption(path).has_value());
    EXPECT_EQ(ReadErrorDialogOkFont(path).tenthsOfPoint, 90);
    EXPECT_EQ(ReadErrorDialogOkFont(path).face, u"Lucida Sans Unicode");
    EXPECT_EQ(ReadVersionDialogOkFont(path).tenthsOfPoint, 90);

    folder.Write("OrblInf.ini", "[OK]\nagree=Schließen\nfontsize=9.5\nfonttype=Arial\n");
    EXPECT_EQ(ReadErrorDialogOkCaption(path), u"Schließen");
    EXPECT_EQ(ReadVersionDialogOkCaption(path), u"Schließen");
    // The error dialog keeps one decimal, the version dialog whole points.
    EXPECT_EQ(ReadErrorDialogOkFont(path).tenthsOfPoint, 95);
    EXPECT_EQ(ReadVersionDialogOkFont(path).tenthsOfPoint, 90);
    EXPECT_EQ(ReadVersionDialogOkFont(path).face, u"Arial");

    folder.Write("OrblInf.ini", "[OK]\nagree=\nfontsize=0\n");
    EXPECT_EQ(ReadErrorDialogOkCaption(path), u"OK");
    EXPECT_FALSE(ReadVersionDialogOkCaption(path).has_value());
    EXPECT_EQ(ReadErrorDialogOkFont(path).tenthsOfPoint, 0);
    EXPECT_EQ(ReadVersionDialogOkFont(path).tenthsOfPoint, 90);
}

TEST(SettingsTest, ShippedSettingsFilesHoldEveryKeyAtItsDefault)
{
    const std::string medium = ORBLANE_TEST_DATA_DIR "/../../resources/medium/";
    const ViewerSettings shipped = ReadViewerSettings(medium + "Orblane.ini");
    TempFolder folder;
    const ViewerSettings defaults = ReadViewerSettings(folder.Path("none.ini"));
    EXPECT_EQ(shipped.frameColor, defaults.frameColor);
    EXPECT_EQ(shipped.overlayTextColor, defaults.overlayTextColor);
    EXPECT_EQ(shipped.frameThickness, defaults.frameThickness);
    EXPECT_EQ(shipped.wlWidthDivisor, defaults.wlWidthDivisor);
    EXPECT_EQ(shipped.wlCentreDivisor, defaults.wlCentreDivisor);
    EXPECT_EQ(shipped.overlayFont.face, defaults.overlayFont.face);
    EXPECT_EQ(shipped.overlayFont.tenthsOfPoint, defaults.overlayFont.tenthsOfPoint);
    EXPECT_DOUBLE_EQ(ReadZoomStep(medium + "Orblane.ini"), 1.2);
    EXPECT_EQ(ReadStudyListColumnTitles(medium + "OrblInf.ini"), ReadStudyListColumnTitles(folder.Path("none")));
    EXPECT_EQ(ReadStudyListHeaderFont(medium + "OrblInf.ini").tenthsOfPoint, 90);
    EXPECT_EQ(ReadErrorDialogOkFont(medium + "OrblInf.ini").tenthsOfPoint, 90);
    EXPECT_EQ(ReadErrorDialogOkCaption(medium + "OrblInf.ini"), u"OK");
}

} // namespace
} // namespace orblane

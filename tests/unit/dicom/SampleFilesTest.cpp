#include "dicom/CharacterSet.h"
#include "dicom/DicomDataFileIO.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace orblane {
namespace {

const std::filesystem::path kData = ORBLANE_TEST_DATA_DIR;

// Files written by other software walk to their last byte; only the one whose pixel data was cut short stops
// before it, after every complete element.
TEST(SampleFilesTest, EverySampleFileWalksToItsEnd)
{
    for (const char* folder : {"files", "charset"})
    {
        for (const auto& entry : std::filesystem::directory_iterator(kData / folder))
        {
            DicomDataFileIO file;
            ASSERT_EQ(file.LoadFile(entry.path()), 0) << entry.path();
            const TagList& kept = file.DataSet()->Kept();
            ASSERT_GT(kept.size(), 10u) << entry.path();
            const TagElement& last = kept.back();
            const std::uint8_t* end = last.value + (last.entered != 0 ? 0 : last.length);
            if (entry.path().filename() == "MR_truncated.dcm")
            {
                EXPECT_LT(end, file.Mapping().End());
                EXPECT_FALSE(file.FindValue(0x7FE0, 0x0010)) << "the cut pixel data cannot be read";
            }
            else
            {
                EXPECT_EQ(end, file.Mapping().End()) << entry.path();
            }
        }
    }
}

TEST(SampleFilesTest, ImplicitAndExplicitCopiesOfOneImageGiveTheSameAttributes)
{
    DicomDataFileIO explicitFile;
    DicomDataFileIO implicitFile;
    ASSERT_EQ(explicitFile.LoadFile(kData / "files/MR_small.dcm"), 0);
    ASSERT_EQ(implicitFile.LoadFile(kData / "files/MR_small_implicit.dcm"), 0);
    for (const auto& [group, element] : {std::pair{0x0028, 0x0010}, {0x0028, 0x0011}, {0x0028, 0x0100}})
    {
        const auto a = explicitFile.FindValue(static_cast<std::uint16_t>(group), static_cast<std::uint16_t>(element));
        const auto b = implicitFile.FindValue(static_cast<std::uint16_t>(group), static_cast<std::uint16_t>(element));
        ASSERT_TRUE(a && b);
        EXPECT_TRUE(std::equal(a->begin(), a->end(), b->begin(), b->end()));
    }
    ASSERT_TRUE(implicitFile.FindValue(0x7FE0, 0x0010));
    EXPECT_EQ(implicitFile.FindValue(0x7FE0, 0x0010)->size(), 64u * 64u * 2u);
}

TEST(SampleFilesTest, CtSmallShowsItsPatientAndStudy)
{
    DicomDataFileIO file;
    ASSERT_EQ(file.LoadFile(kData / "files/CT_small.dcm"), 0);
    const PatientStudyInfo info = file.MakeInfoRecord();
    EXPECT_EQ(info.patientName, u"CompressedSamples^CT1");
    EXPECT_EQ(info.patientId, u"1CT1");
    EXPECT_FALSE(info.birthDate);
    EXPECT_EQ(info.sex, u"O");
    EXPECT_EQ(info.studyDateTime, u"2004.01.19 07:27:30");
    EXPECT_EQ(info.institutionName, u"JFK IMAGING CENTER");
}

bool HasCodePageConverter()
{
    const std::uint8_t charset[] = {'I', 'S', 'O', '_', 'I', 'R', ' ', '1', '9', '2'};
    const std::uint8_t eAcute[] = {0xC3, 0xA9};
    return ConvertToWide(charset, eAcute).text == u"\u00E9";
}

// The examples of the character-set annexes of the DICOM standard (PS3.5 H, I, J): the name shown is the
// ideographic group when there is one.
TEST(SampleFilesTest, CharacterSetExamplesShowTheirNames)
{
    if (!HasCodePageConverter())
    {
        GTEST_SKIP() << "needs the code-page converter, which replaces the byte-widening stand-in";
    }
    const std::pair<const char*, std::u16string> examples[] = {
        {"chrH31.dcm", u"\u5C71\u7530^\u592A\u90CE"},                 // ISO 2022 IR 87
        {"chrI2.dcm", u"\u6D2A^\u5409\u6D1E"},                        // ISO 2022 IR 149
        {"chrX1.dcm", u"\u738B^\u5C0F\u6771"},                        // UTF-8
        {"chrX2.dcm", u"\u738B^\u5C0F\u4E1C"},                        // GB18030
        {"chrRuss.dcm", u"\u041B\u044E\u043Ace\u043C\u0431yp\u0433"}, // ISO_IR 144
    };
    for (const auto& [name, expected] : examples)
    {
        DicomDataFileIO file;
        ASSERT_EQ(file.LoadFile(kData / "charset" / name), 0) << name;
        EXPECT_EQ(file.MakeInfoRecord().patientName, expected) << name;
    }
}

} // namespace
} // namespace orblane

#include "dicom/DicomDirFileIO.h"
#include "support/OpenAndReport.h"

#include "platform/ErrorSink.h"
#include "support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace orblane {
namespace {

const std::filesystem::path kMedia = std::filesystem::path(ORBLANE_TEST_DATA_DIR) / "dicomdirtests";

std::vector<std::string> raisedCodes;

void Record(std::string_view code, std::uint32_t, bool)
{
    raisedCodes.emplace_back(code);
}

class DicomDirSamplesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        raisedCodes.clear();
        previous = SetErrorHandler(&Record);
    }
    void TearDown() override { SetErrorHandler(previous); }

    // Opens one of the DICOMDIR variants under the name DICOMDIR in a folder of its own.
    int OpenVariant(const char* name)
    {
        std::filesystem::copy_file(kMedia / name, scratch.Path() / "DICOMDIR");
        return test::OpenAndReport(dicomDir, scratch.FolderText());
    }

    ErrorHandler previous = nullptr;
    test::ScratchFolder scratch;
    DicomDirFileIO dicomDir;
};

struct ExpectedRow
{
    const char16_t* name;
    const char16_t* id;
    const char16_t* dateTime;
    const char16_t* modality;
    std::size_t files;
};

// What the medium holds, as its records state it: two patients (three patient folders), six studies.
const ExpectedRow kMainRows[] = {
    {u"Doe^Archibald", u"77654033", u"2001.01.01 00:00:00", u"CR", 3},
    {u"Doe^Archibald", u"77654033", u"1995.09.03 17:30:32", u"CT", 4},
    {u"Doe^Peter", u"98890234", u"2001.01.01 00:00:00", u"CT", 7},
    {u"Doe^Peter", u"98890234", u"2003.05.05 05:07:43", u"MR", 2},
    {u"Doe^Peter", u"98890234", u"2003.05.05 02:51:09", u"MR", 4},
    {u"Doe^Peter", u"98890234", u"2003.05.05 04:53:57", u"MR", 11},
};

void ExpectMainRows(DicomDirFileIO& dicomDir)
{
    ASSERT_EQ(dicomDir.StudyCount(), std::size(kMainRows));
    for (int i = 0; i < static_cast<int>(std::size(kMainRows)); ++i)
    {
        const auto entry = dicomDir.GetStudyEntry(i);
        ASSERT_TRUE(entry) << i;
        EXPECT_EQ(entry->patientName, kMainRows[i].name) << i;
        EXPECT_EQ(entry->patientId, kMainRows[i].id) << i;
        EXPECT_EQ(entry->studyDateTime, kMainRows[i].dateTime) << i;
        EXPECT_EQ(entry->modality, kMainRows[i].modality) << i;
        EXPECT_FALSE(entry->birthDate) << i;
        EXPECT_FALSE(entry->sex) << i;
    }
}

// Its records are items of defined length: read as items of undefined length only, it would list nothing.
TEST_F(DicomDirSamplesTest, MediaWriterDicomDirListsEveryStudyAndLoadsEveryFile)
{
    ASSERT_EQ(test::OpenAndReport(dicomDir, platform::Utf8FromPath(kMedia) + "/"), 0);
    ExpectMainRows(dicomDir);
    DicomFileChain chain;
    for (int i = 0; const auto entry = dicomDir.GetStudyEntry(i); ++i)
    {
        const std::size_t before = chain.size();
        dicomDir.CollectImageFiles(chain, entry->firstSeries, *entry->studyDateTime);
        EXPECT_EQ(chain.size() - before, kMainRows[i].files) << i;
    }
    EXPECT_EQ(chain.front()->FileId(), "77654033\\CR1\\6154 ");
    for (const auto& file : chain)
    {
        ASSERT_EQ(file->LoadDataSet(), 0) << file->FileId();
        EXPECT_TRUE(file->FindValue(0x7FE0, 0x0010)) << file->FileId();
    }
    EXPECT_TRUE(raisedCodes.empty());
}

TEST_F(DicomDirSamplesTest, ReorderedRecordsListTheSameStudiesInLinkOrder)
{
    ASSERT_EQ(OpenVariant("DICOMDIR-reordered"), 0);
    ExpectMainRows(dicomDir);
}

TEST_F(DicomDirSamplesTest, UnreadableVariantsRaiseOrListNothing)
{
    // Big endian: the root offset's tag cannot be recognised in little-endian order.
    EXPECT_EQ(OpenVariant("DICOMDIR-bigEnd"), -1);
    EXPECT_EQ(raisedCodes, std::vector<std::string>{"10103"});
    DicomDirFileIO emptyReader;
    std::filesystem::copy_file(kMedia / "DICOMDIR-empty.dcm", scratch.Path() / "DICOMDIR",
                               std::filesystem::copy_options::overwrite_existing);
    EXPECT_EQ(test::OpenAndReport(emptyReader, scratch.FolderText()), -1);
    EXPECT_EQ(raisedCodes.size(), 2u);
}

TEST_F(DicomDirSamplesTest, PatientlessVariantListsNoStudy)
{
    ASSERT_EQ(OpenVariant("DICOMDIR-nopatient"), 0);
    EXPECT_EQ(dicomDir.StudyCount(), 0u);
    EXPECT_FALSE(dicomDir.GetStudyEntry(0));
}

// Every record walk starts in explicit VR, as a DICOMDIR is explicit VR little endian by definition: an implicit
// one has a root offset but no readable record.
TEST_F(DicomDirSamplesTest, ImplicitVariantOpensWithoutStudies)
{
    ASSERT_EQ(OpenVariant("DICOMDIR-implicit"), 0);
    EXPECT_EQ(dicomDir.StudyCount(), 0u);
}

TEST_F(DicomDirSamplesTest, TinyFileSetCollectsItsFiftyImages)
{
    ASSERT_EQ(test::OpenAndReport(dicomDir, platform::Utf8FromPath(kMedia / "TINY_ALPHA") + "/"), 0);
    ASSERT_EQ(dicomDir.StudyCount(), 1u);
    const auto entry = dicomDir.GetStudyEntry(0);
    EXPECT_EQ(entry->patientName, u"Citizen^Jan");
    EXPECT_EQ(entry->modality, u"CT");
    DicomFileChain chain;
    dicomDir.CollectImageFiles(chain, entry->firstSeries, u"");
    ASSERT_EQ(chain.size(), 50u);
    EXPECT_EQ(chain[10]->FileId(), "PT000000\\ST000000\\SE000000\\IM00000A ");
    for (const auto& file : chain)
    {
        EXPECT_EQ(file->LoadDataSet(), 0) << file->FileId();
    }
}

} // namespace
} // namespace orblane

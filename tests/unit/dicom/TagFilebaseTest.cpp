#include "dicom/TagFilebase.h"
#include "dicom/DicomData.h"

#include "support/CaseName.h"
#include "support/DicomWriter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <cstring>
#include <string>
#include <vector>

namespace orblane {
namespace {

using test::DicomWriter;
using test::Length;

struct Seen
{
    std::uint16_t group;
    std::uint16_t element;
    std::uint32_t length;
    bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Seen& seen)
{
    char text[40];
    std::snprintf(text, sizeof text, "(%04X,%04X) length %u", seen.group, seen.element, seen.length);
    return out << text;
}

std::vector<Seen> Tags(const TagList& kept)
{
    std::vector<Seen> tags;
    for (const TagElement& tag : kept)
    {
        tags.push_back({tag.group, tag.element, tag.length});
    }
    return tags;
}

// Walks a whole file as a referenced file is walked: from byte 132 to the end.
std::vector<Seen> WalkFile(const test::Bytes& bytes)
{
    DicomData data;
    if (bytes.size() > 132)
    {
        data.ParseTags(bytes.data() + 132, bytes.data() + bytes.size());
    }
    return Tags(data.Kept());
}

constexpr std::uint32_t kUndefined = 0xFFFFFFFF;

TEST(TagFilebaseTest, ReadsEachHeaderFormAndStepsOverDefinedValues)
{
    DicomWriter w;
    w.Text(0x0008, 0x0060, "CS", "CT")
        .Element(0x0009, 0x0010, "OB", test::ToBytes("abcd"))
        .Text(0x0020, 0x4000, "UT", "long text")
        .Element(0x0029, 0x0010, "UN", test::ToBytes("xy"));
    const auto tags = WalkFile(w.Data());
    EXPECT_THAT(tags, ::testing::ElementsAre(Seen{0x0008, 0x0060, 2}, Seen{0x0009, 0x0010, 4}, Seen{0x0020, 0x4000, 10},
                                             Seen{0x0029, 0x0010, 2}));
    // The value pointer skips the 8-byte header of CS and the 12-byte header of UT.
    DicomData data;
    data.ParseTags(w.Data().data() + 132, w.Data().data() + w.Data().size());
    EXPECT_EQ(data.Kept()[0].value, w.Data().data() + 140);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(data.Kept()[2].value), 10), "long text ");
}

TEST(TagFilebaseTest, SwitchesToImplicitOnlyForTheNulPaddedImplicitSyntax)
{
    // Group 0002 stays explicit, everything after the NUL-padded UID (length 18) is implicit.
    DicomWriter implicitFile;
    implicitFile.FileMeta(test::kImplicitLittleEndian).Text(0x0010, 0x0010, "PN", "Doe^Jane");
    const auto implicitTags = WalkFile(implicitFile.Data());
    ASSERT_EQ(implicitTags.size(), 4u);
    EXPECT_EQ(implicitTags[2], (Seen{0x0002, 0x0010, 18}));
    EXPECT_EQ(implicitTags[3], (Seen{0x0010, 0x0010, 8}));

    // The explicit syntax is longer and shares the prefix: it must not switch.
    DicomWriter explicitFile;
    explicitFile.FileMeta(test::kExplicitLittleEndian).Text(0x0010, 0x0010, "PN", "Doe^Jane");
    EXPECT_EQ(WalkFile(explicitFile.Data()).back(), (Seen{0x0010, 0x0010, 8}));

    // Padded with a space or a run of NULs, or not padded at all, the implicit UID still switches the walk.
    for (const std::string_view uid :
         {"1.2.840.10008.1.2 ", "1.2.840.10008.1.2\0\0\0", "1.2.840.10008.1.2", "1.2.840.10008.1.2 \0 "})
    {
        DicomWriter padded;
        padded.Element(0x0002, 0x0010, "UI", test::ToBytes(uid))
            .SetImplicit(true)
            .Text(0x0010, 0x0010, "PN", "Doe^Jane");
        EXPECT_THAT(WalkFile(padded.Data()),
                    ::testing::ElementsAre(Seen{0x0002, 0x0010, static_cast<std::uint32_t>(uid.size())},
                                           Seen{0x0010, 0x0010, 8}))
            << testing::PrintToString(std::string(uid));
    }
    // A longer UID sharing the prefix, even one whose tail is only pad-like bytes elsewhere, does not switch.
    DicomWriter longer;
    longer.Element(0x0002, 0x0010, "UI", test::ToBytes("1.2.840.10008.1.2 1")).Text(0x0010, 0x0010, "PN", "Doe^Jane");
    EXPECT_EQ(WalkFile(longer.Data()).back(), (Seen{0x0010, 0x0010, 8}));
}

struct VrCase
{
    const char* name;
    const char* vr;
    std::uint32_t length; // of the value written
};

class TagFilebaseVrTest : public ::testing::TestWithParam<VrCase>
{
};

// PS3.5 7.1.2: OD, OF, OL, OV, SV, UC, UR, UT, UV and a VR this reader does not know all have two reserved bytes and
// a 32-bit length; the pixel data after them must still be found.
TEST_P(TagFilebaseVrTest, ReadsTheLongFormAndWalksOnToThePixelData)
{
    const VrCase& row = GetParam();
    const test::Bytes value(row.length, 0x41);
    DicomWriter w;
    w.Text(0x0010, 0x0010, "PN", "AB")
        .Element(0x0071, 0x0010, row.vr, value)
        .Element(0x7FE0, 0x0010, "OB", test::ToBytes("px"));
    // The header is written by hand too: tag, VR, two zero bytes, the 32-bit length.
    ASSERT_EQ(w.Data()[142 + 6], 0);
    ASSERT_EQ(w.Data()[142 + 8], row.length);
    EXPECT_THAT(WalkFile(w.Data()), ::testing::ElementsAre(Seen{0x0010, 0x0010, 2}, Seen{0x0071, 0x0010, row.length},
                                                           Seen{0x7FE0, 0x0010, 2}));
}

INSTANTIATE_TEST_SUITE_P(EveryLongVr, TagFilebaseVrTest,
                         ::testing::Values(VrCase{"OD", "OD", 8}, VrCase{"OF", "OF", 4}, VrCase{"OL", "OL", 4},
                                           VrCase{"OV", "OV", 8}, VrCase{"SV", "SV", 8}, VrCase{"UC", "UC", 6},
                                           VrCase{"UR", "UR", 10}, VrCase{"UT", "UT", 4}, VrCase{"UV", "UV", 16},
                                           VrCase{"UnknownLetters", "QQ", 2}),
                         test::ByCaseName());

TEST(TagFilebaseTest, EndsBeforeVrBytesThatAreNotTwoCapitals)
{
    DicomWriter w;
    w.Text(0x0010, 0x0010, "PN", "Doe^Jane")
        .Element(0x0028, 0x0008, "o\x01", test::ToBytes("1234"))
        .Text(0x0010, 0x0020, "LO", "ID");
    EXPECT_THAT(WalkFile(w.Data()), ::testing::ElementsAre(Seen{0x0010, 0x0010, 8}));
}

// Writes an explicit UN of undefined length (PS3.5 6.2.2 note) holding, in implicit VR, an item with a text and a
// nested sequence of undefined length whose item has a defined length, and a second item with a name.
void WriteUnknownSequence(DicomWriter& w)
{
    w.Header(0x0009, 0x1011, "UN", kUndefined)
        .SetImplicit(true)
        .BeginItem(Length::Undefined)
        .Text(0x0009, 0x1001, "LO", "inner")
        .BeginSequence(0x0009, 0x1003, Length::Undefined)
        .BeginItem(Length::Defined)
        .Text(0x0009, 0x1002, "SH", "deep")
        .EndItem()
        .EndSequence()
        .EndItem()
        .BeginItem(Length::Undefined)
        .Text(0x0010, 0x0010, "PN", "Nested")
        .EndItem()
        .Header(0xFFFE, 0xE0DD, "", 0)
        .SetImplicit(false);
}

TEST(TagFilebaseTest, ReadsAnUndefinedUnAsAnImplicitSequenceThenGoesOnExplicitly)
{
    DicomWriter w;
    w.FileMeta(test::kExplicitLittleEndian);
    WriteUnknownSequence(w);
    w.Text(0x0010, 0x0010, "PN", "Top").Element(0x7FE0, 0x0010, "OB", test::ToBytes("px"));
    const auto tags = WalkFile(w.Data());
    ASSERT_EQ(tags.size(), 16u);
    EXPECT_THAT(std::vector<Seen>(tags.begin() + 3, tags.end()),
                ::testing::ElementsAre(Seen{0x0009, 0x1011, kUndefined}, Seen{0xFFFE, 0xE000, kUndefined},
                                       Seen{0x0009, 0x1001, 6}, Seen{0x0009, 0x1003, kUndefined},
                                       Seen{0xFFFE, 0xE000, 12}, Seen{0xFFFE, 0xE0DD, 0}, Seen{0xFFFE, 0xE00D, 0},
                                       Seen{0xFFFE, 0xE000, kUndefined}, Seen{0x0010, 0x0010, 6},
                                       Seen{0xFFFE, 0xE00D, 0}, Seen{0xFFFE, 0xE0DD, 0}, Seen{0x0010, 0x0010, 4},
                                       Seen{0x7FE0, 0x0010, 2}));
    // The nested name is not the patient's: the remembered one is the top-level one after the sequence.
    DicomData data;
    data.ParseTags(w.Data().data() + 132, w.Data().data() + w.Data().size());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(data.patientName.value), data.patientName.length), "Top ");
}

TEST(TagFilebaseTest, AnUnSequenceThatNeverEndsStopsAtTheEndOfTheData)
{
    DicomWriter w;
    w.Header(0x0009, 0x1011, "UN", kUndefined)
        .SetImplicit(true)
        .BeginItem(Length::Undefined)
        .Text(0x0009, 0x1001, "LO", "inner")
        .Text(0x0010, 0x0010, "PN", "Nested");
    const auto full = WalkFile(w.Data());
    EXPECT_THAT(full, ::testing::ElementsAre(Seen{0x0009, 0x1011, kUndefined}, Seen{0xFFFE, 0xE000, kUndefined},
                                             Seen{0x0009, 0x1001, 6}, Seen{0x0010, 0x0010, 6}));
    for (std::size_t size = 132; size <= w.Data().size(); ++size)
    {
        const test::Bytes cut(w.Data().begin(), w.Data().begin() + static_cast<std::ptrdiff_t>(size));
        const auto tags = WalkFile(cut);
        EXPECT_TRUE(std::equal(tags.begin(), tags.end(), full.begin())) << "cut at " << size;
    }
}

// A cut inside a value drops that element: it is never reported with the length its header declares.
TEST(TagFilebaseTest, DropsTheElementWhoseValueTheEndCuts)
{
    struct Shape
    {
        const char* name;
        void (*write)(DicomWriter&);
    };
    const Shape shapes[] = {
        {"short form", [](DicomWriter& w) { w.Text(0x0010, 0x0020, "LO", "ID-123456"); }},
        {"long form", [](DicomWriter& w) { w.Text(0x0040, 0xA160, "UC", "free text value"); }},
        {"implicit",
         [](DicomWriter& w) { w.FileMeta(test::kImplicitLittleEndian).Text(0x0010, 0x0020, "LO", "ID-1234"); }},
        {"inside UN",
         [](DicomWriter& w) {
             w.Header(0x0009, 0x1011, "UN", kUndefined).SetImplicit(true).BeginItem(Length::Undefined);
             w.Text(0x0009, 0x1001, "LO", "value in UN");
         }},
    };
    for (const Shape& shape : shapes)
    {
        DicomWriter w;
        w.Text(0x0010, 0x0010, "PN", "Doe^Jane");
        shape.write(w);
        const auto full = WalkFile(w.Data());
        const Seen last = full.back();
        for (std::size_t cut = 1; cut < last.length; ++cut)
        {
            const test::Bytes bytes(w.Data().begin(), w.Data().end() - static_cast<std::ptrdiff_t>(cut));
            const auto tags = WalkFile(bytes);
            EXPECT_EQ(tags, std::vector<Seen>(full.begin(), full.end() - 1)) << shape.name << ", cut " << cut;
        }
    }
}

TEST(TagFilebaseTest, EntersUndefinedSequencesAndStepsOverDefinedOnes)
{
    const auto build = [](Length length) {
        DicomWriter w;
        w.BeginSequence(0x0008, 0x1115, length)
            .BeginItem(length)
            .Text(0x0008, 0x1150, "UI", "1.2")
            .EndItem()
            .EndSequence()
            .Text(0x0010, 0x0010, "PN", "AB");
        return w.Data();
    };
    EXPECT_THAT(WalkFile(build(Length::Defined)),
                ::testing::ElementsAre(Seen{0x0008, 0x1115, 20}, Seen{0x0010, 0x0010, 2}));
    EXPECT_THAT(WalkFile(build(Length::Undefined)),
                ::testing::ElementsAre(Seen{0x0008, 0x1115, kUndefined}, Seen{0xFFFE, 0xE000, kUndefined},
                                       Seen{0x0008, 0x1150, 4}, Seen{0xFFFE, 0xE00D, 0}, Seen{0xFFFE, 0xE0DD, 0},
                                       Seen{0x0010, 0x0010, 2}));
}

TEST(TagFilebaseTest, VisitsEncapsulatedPixelDataItemByItem)
{
    DicomWriter w;
    w.FileMeta(test::kJpegLossless)
        .BeginEncapsulated()
        .Fragment({})
        .Fragment(test::ToBytes("frame1"))
        .Fragment(test::ToBytes("fr2 "))
        .EndSequence();
    const auto tags = WalkFile(w.Data());
    ASSERT_EQ(tags.size(), 8u);
    EXPECT_THAT(std::vector<Seen>(tags.begin() + 3, tags.end()),
                ::testing::ElementsAre(Seen{0x7FE0, 0x0010, kUndefined}, Seen{0xFFFE, 0xE000, 0},
                                       Seen{0xFFFE, 0xE000, 6}, Seen{0xFFFE, 0xE000, 4}, Seen{0xFFFE, 0xE0DD, 0}));
}

TEST(TagFilebaseTest, StepsIntoATwoByteLengthOfFFFF)
{
    DicomWriter w;
    w.Header(0x0010, 0x0010, "PN", 0xFFFF).Text(0x0010, 0x0020, "LO", "ID");
    DicomData data;
    data.ParseTags(w.Data().data() + 132, w.Data().data() + w.Data().size());
    EXPECT_THAT(Tags(data.Kept()), ::testing::ElementsAre(Seen{0x0010, 0x0010, 0xFFFF}, Seen{0x0010, 0x0020, 2}));
    EXPECT_EQ(data.Kept()[0].entered, 1);
    // Its length is not a byte count: the remembered name is empty, not 65535 bytes of whatever follows.
    EXPECT_TRUE(data.patientName.present);
    EXPECT_FALSE(data.patientName.HasText());
}

TEST(TagFilebaseTest, NeverReadsAValueOrHeaderThatRunsPastTheEnd)
{
    DicomWriter w;
    w.Text(0x0010, 0x0010, "PN", "Doe^Jane").Header(0x7FE0, 0x0010, "OW", 0xFFFFFFF0).Raw("abc");
    EXPECT_THAT(WalkFile(w.Data()), ::testing::ElementsAre(Seen{0x0010, 0x0010, 8}));

    DicomWriter implicitLength;
    implicitLength.SetImplicit(true).Header(0x0010, 0x0010, "", 0x7FFFFFFF).Raw("abcdefgh");
    EXPECT_TRUE(WalkFile(implicitLength.Data()).empty());
}

TEST(TagFilebaseTest, ReadsAnEmptyElementThatEndsExactlyAtTheEnd)
{
    DicomWriter w;
    w.Text(0x0010, 0x0010, "PN", "AB").Element(0x0010, 0x0020, "LO", {}).Element(0x7FE0, 0x0010, "OB", {});
    EXPECT_THAT(WalkFile(w.Data()),
                ::testing::ElementsAre(Seen{0x0010, 0x0010, 2}, Seen{0x0010, 0x0020, 0}, Seen{0x7FE0, 0x0010, 0}));
}

TEST(TagFilebaseTest, EveryTruncationGivesAPrefixOfTheFullWalk)
{
    DicomWriter w;
    w.FileMeta(test::kExplicitLittleEndian)
        .Text(0x0008, 0x0005, "CS", "ISO_IR 100")
        .BeginSequence(0x0008, 0x1115, Length::Undefined)
        .BeginItem(Length::Undefined)
        .Text(0x0010, 0x0010, "PN", "Nested^Name")
        .EndItem()
        .BeginItem(Length::Defined)
        .Text(0x0008, 0x1150, "UI", "1.2.3")
        .EndItem()
        .EndSequence()
        .Text(0x0020, 0x4000, "UT", "comment")
        .BeginEncapsulated()
        .Fragment({})
        .Fragment(test::ToBytes("jpeg"))
        .EndSequence();
    const auto full = WalkFile(w.Data());
    ASSERT_EQ(full.size(), 15u);
    for (std::size_t size = 0; size <= w.Data().size(); ++size)
    {
        // An exact-size copy, so that AddressSanitizer sees any read past the end.
        const test::Bytes cut(w.Data().begin(), w.Data().begin() + static_cast<std::ptrdiff_t>(size));
        const auto tags = WalkFile(cut);
        ASSERT_LE(tags.size(), full.size()) << "cut at " << size;
        EXPECT_TRUE(std::equal(tags.begin(), tags.end(), full.begin())) << "cut at " << size;
    }
}

TEST(TagFilebaseTest, WalkNeverTouchesTheBytesOfAValue)
{
#if defined(_WIN32)
    SYSTEM_INFO system{};
    ::GetSystemInfo(&system);
    const auto page = static_cast<std::size_t>(system.dwPageSize);
#else
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
#endif
    const std::size_t valuePages = 16;
    const std::size_t total = page * (valuePages + 2);
#if defined(_WIN32)
    void* memory = ::VirtualAlloc(nullptr, total, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    ASSERT_NE(memory, nullptr);
#else
    void* memory = ::mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(memory, MAP_FAILED);
#endif
    auto* bytes = static_cast<std::uint8_t*>(memory);
    // Pixel data whose value fills pages 1 … 16 exactly; a name follows on the last page.
    DicomWriter header(false);
    header.Header(0x7FE0, 0x0010, "OW", static_cast<std::uint32_t>(page * valuePages));
    const std::size_t start = page - header.Size();
    std::memcpy(bytes + start, header.Data().data(), header.Size());
    DicomWriter tail(false);
    tail.Text(0x0010, 0x0010, "PN", "After");
    std::memcpy(bytes + page * (valuePages + 1), tail.Data().data(), tail.Size());
#if defined(_WIN32)
    DWORD previous = 0;
    ASSERT_TRUE(::VirtualProtect(bytes + page, page * valuePages, PAGE_NOACCESS, &previous));
#else
    ASSERT_EQ(::mprotect(bytes + page, page * valuePages, PROT_NONE), 0);
#endif

    DicomData data;
    data.ParseTags(bytes + start, bytes + page * (valuePages + 1) + tail.Size());
    EXPECT_THAT(Tags(data.Kept()), ::testing::ElementsAre(Seen{0x7FE0, 0x0010, static_cast<std::uint32_t>(page * 16)},
                                                          Seen{0x0010, 0x0010, 6}));
#if defined(_WIN32)
    ::VirtualFree(memory, 0, MEM_RELEASE);
#else
    ::munmap(memory, total);
#endif
}

// A visitor that answers scripted verdicts and records every element it is handed.
class ScriptedVisitor : public TagFilebase
{
public:
    explicit ScriptedVisitor(std::vector<int> script, bool enterItems = false, bool walkWholeData = false)
        : TagFilebase(walkWholeData), verdicts(std::move(script))
    {
        enterDefinedItem = enterItems;
    }
    std::vector<Seen> visited;

protected:
    int OnTag(const TagElement& tag) override
    {
        visited.push_back({tag.group, tag.element, tag.length});
        const std::size_t index = visited.size() - 1;
        return index < verdicts.size() ? verdicts[index] : kKeepAndGoOn;
    }

private:
    std::vector<int> verdicts;
};

TEST(TagFilebaseTest, VerdictsDecideWhatIsKeptAndWhenTheWalkStops)
{
    DicomWriter w(false);
    w.UInt32(0x0008, 0x0000, 0)
        .Text(0x0008, 0x0020, "DA", "20240131")
        .Text(0x0008, 0x0030, "TM", "1200")
        .Text(0x0008, 0x0060, "CS", "CT");
    const auto* begin = w.Data().data();
    const auto* end = begin + w.Size();

    ScriptedVisitor skipThenKeep({kSkipAndGoOn, kKeepAndGoOn, kKeepAndStop}, false, true);
    skipThenKeep.ParseTags(begin, end);
    EXPECT_EQ(skipThenKeep.visited.size(), 3u);
    EXPECT_THAT(Tags(skipThenKeep.Kept()), ::testing::ElementsAre(Seen{0x0008, 0x0020, 8}, Seen{0x0008, 0x0030, 4}));

    ScriptedVisitor stopUnkept({kKeepAndGoOn, kSkipAndStop}, false, true);
    stopUnkept.ParseTags(begin, end);
    EXPECT_EQ(stopUnkept.visited.size(), 2u);
    EXPECT_EQ(stopUnkept.Kept().size(), 1u);
}

TEST(TagFilebaseTest, FirstElementSetsHowFarAPartialWalkGoes)
{
    // Group mode: the group length (0008,0000) covers the next two elements only.
    DicomWriter group(false);
    group.UInt32(0x0008, 0x0000, 28).Text(0x0008, 0x0020, "DA", "20240131").Text(0x0008, 0x0030, "TM", "1200");
    group.Text(0x0008, 0x0060, "CS", "CT");
    ScriptedVisitor groupWalk({});
    groupWalk.ParseTags(group.Data().data(), group.Data().data() + group.Size());
    EXPECT_EQ(groupWalk.Mode(), WalkMode::Group);
    EXPECT_EQ(groupWalk.visited.size(), 3u);

    // A group length without its four value bytes must not be read beyond its value.
    DicomWriter shortLength(false);
    shortLength.Element(0x0008, 0x0000, "UL", test::ToBytes("ab")).Text(0x0008, 0x0060, "CS", "CT");
    ScriptedVisitor shortWalk({});
    shortWalk.ParseTags(shortLength.Data().data(), shortLength.Data().data() + shortLength.Size());
    EXPECT_EQ(shortWalk.visited.size(), 1u);

    // Nor one whose 0xFFFF length was stepped into at the very end of the data.
    DicomWriter undefinedLength(false);
    undefinedLength.Header(0x0008, 0x0000, "UL", 0xFFFF);
    const test::Bytes exact = undefinedLength.Data();
    ScriptedVisitor undefinedWalk({});
    undefinedWalk.ParseTags(exact.data(), exact.data() + exact.size());
    EXPECT_EQ(undefinedWalk.visited.size(), 1u);

    // Single mode: one element.
    ScriptedVisitor single({});
    single.ParseTags(group.Data().data() + 12, group.Data().data() + group.Size());
    EXPECT_EQ(single.Mode(), WalkMode::Single);
    EXPECT_EQ(single.visited.size(), 1u);

    // Item mode: up to the first Item Delimitation, also one that closes a nested item.
    DicomWriter item(false);
    item.BeginItem(Length::Undefined)
        .Text(0x0004, 0x1430, "CS", "STUDY")
        .BeginSequence(0x0008, 0x1110, Length::Undefined)
        .BeginItem(Length::Undefined)
        .EndItem()
        .EndSequence()
        .Text(0x0008, 0x0020, "DA", "20240131")
        .EndItem();
    ScriptedVisitor itemWalk({});
    itemWalk.ParseTags(item.Data().data(), item.Data().data() + item.Size());
    EXPECT_EQ(itemWalk.Mode(), WalkMode::Item);
    EXPECT_EQ(itemWalk.visited.back(), (Seen{0xFFFE, 0xE00D, 0}));
    EXPECT_EQ(itemWalk.visited.size(), 5u);
}

TEST(TagFilebaseTest, EntersAFirstItemOfDefinedLengthOnlyWhenAskedAndStaysInsideIt)
{
    DicomWriter w(false);
    w.BeginItem(Length::Defined).Text(0x0004, 0x1430, "CS", "PATIENT").Text(0x0010, 0x0010, "PN", "A^B").EndItem();
    w.BeginItem(Length::Defined).Text(0x0010, 0x0010, "PN", "Next^Record").EndItem();
    const auto* begin = w.Data().data();

    ScriptedVisitor stepOver({});
    stepOver.ParseTags(begin, begin + w.Size());
    EXPECT_EQ(stepOver.visited.size(), 2u); // both items, stepped over whole

    ScriptedVisitor enter({}, true);
    enter.ParseTags(begin, begin + w.Size());
    EXPECT_THAT(enter.visited,
                ::testing::ElementsAre(Seen{0xFFFE, 0xE000, 28}, Seen{0x0004, 0x1430, 8}, Seen{0x0010, 0x0010, 4}));
}

} // namespace
} // namespace orblane

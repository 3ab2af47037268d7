#include "dicom/DicomDataFileIO.h"
#include "dicom/PixelAttributes.h"
#include "dicom/TopLevelIndex.h"

#include "support/Deflate.h"
#include "support/DicomWriter.h"
#include "support/ScratchFolder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace orblane {
namespace {

using test::Bytes;
using test::DicomWriter;

const std::string kData = ORBLANE_TEST_DATA_DIR;
constexpr std::string_view kBigEndian = "1.2.840.10008.1.2.2";
constexpr std::string_view kDeflated = "1.2.840.10008.1.2.1.99";

Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string AsText(const Bytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

// Element headers as an Explicit VR Big Endian data set writes them: tag, VR and length most significant byte first.
void Put(Bytes& out, std::uint64_t value, int bytes)
{
    for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8)
    {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

Bytes BigShort(std::uint16_t group, std::uint16_t element, const char* vr, const Bytes& value)
{
    Bytes out;
    Put(out, group, 2);
    Put(out, element, 2);
    out.insert(out.end(), vr, vr + 2);
    Put(out, value.size(), 2);
    out.insert(out.end(), value.begin(), value.end());
    return out;
}

Bytes BigLong(std::uint16_t group, std::uint16_t element, const char* vr, std::uint32_t length, const Bytes& value = {})
{
    Bytes out;
    Put(out, group, 2);
    Put(out, element, 2);
    out.insert(out.end(), vr, vr + 2);
    Put(out, 0, 2);
    Put(out, length, 4);
    out.insert(out.end(), value.begin(), value.end());
    return out;
}

Bytes BigItemTag(std::uint16_t element, std::uint32_t length)
{
    Bytes out;
    Put(out, 0xFFFE, 2);
    Put(out, element, 2);
    Put(out, length, 4);
    return out;
}

struct Seen
{
    std::uint16_t group;
    std::uint16_t element;
    std::uint32_t length;
    std::uint32_t depth;
    bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Seen& seen)
{
    char text[64];
    std::snprintf(text, sizeof text, "(%04X,%04X) length %u depth %u", seen.group, seen.element, seen.length,
                  seen.depth);
    return out << text;
}

// Headers, sequence items and delimiters of a big-endian data set are read most significant byte first, group 0002
// and the implicit little-endian contents of an explicit UN of undefined length least significant byte first; the
// numbers of the pixel attributes follow the data set's order. Every expected number is the one written above.
TEST(EncodedDataSetWalkTest, BigEndianHeadersNestingAndNumbersAreReadInTheirOwnByteOrder)
{
    DicomWriter w;
    w.FileMeta(kBigEndian);
    const std::size_t metaEnd = w.Size();
    Bytes set;
    const auto add = [&set](const Bytes& bytes) { set.insert(set.end(), bytes.begin(), bytes.end()); };
    add(BigShort(0x0010, 0x0010, "PN", test::ToBytes("Doe^Jane")));
    add(BigShort(0x0028, 0x0010, "US", {0x02, 0x00})); // 512
    add(BigLong(0x0008, 0x1115, "SQ", 0xFFFFFFFF));
    add(BigItemTag(0xE000, 0xFFFFFFFF));
    add(BigShort(0x0008, 0x1150, "UI", {'1', '.', '2', 0}));
    add(BigItemTag(0xE00D, 0));
    add(BigItemTag(0xE0DD, 0));
    // A UN of undefined length holds Implicit VR Little Endian whatever the transfer syntax (PS3.5 6.2.2).
    add(BigLong(0x0019, 0x1010, "UN", 0xFFFFFFFF));
    add({0xFE, 0xFF, 0x00, 0xE0, 0xFF, 0xFF, 0xFF, 0xFF});
    add({0x19, 0x00, 0x11, 0x10, 0x04, 0x00, 0x00, 0x00, 'A', 'B', 'C', 'D'});
    add({0xFE, 0xFF, 0x0D, 0xE0, 0x00, 0x00, 0x00, 0x00});
    add({0xFE, 0xFF, 0xDD, 0xE0, 0x00, 0x00, 0x00, 0x00});
    add(BigShort(0x0028, 0x0011, "US", {0x01, 0x00})); // 256
    add(BigShort(0x0028, 0x0100, "US", {0x00, 0x10})); // 16
    add(BigLong(0x7FE0, 0x0010, "OW", 4, {0x01, 0x02, 0x03, 0x04}));
    w.Raw(test::ByteSpan(set));
    const test::ScratchFolder scratch;
    const auto path = scratch.Write("big.dcm", AsText(w.Data()));

    DicomDataFileIO file;
    ASSERT_EQ(file.LoadFile(path), 0);
    EXPECT_EQ(file.Order(), ByteOrder::Big);
    std::vector<Seen> seen;
    for (const TagElement& tag : file.DataSet()->Kept())
    {
        if (tag.value - file.DataBytes().data() >= static_cast<std::ptrdiff_t>(metaEnd))
        {
            seen.push_back({tag.group, tag.element, tag.length, tag.depth});
        }
    }
    const std::vector<Seen> expected{
        {0x0010, 0x0010, 8, 0},          {0x0028, 0x0010, 2, 0},          {0x0008, 0x1115, 0xFFFFFFFF, 0},
        {0xFFFE, 0xE000, 0xFFFFFFFF, 1}, {0x0008, 0x1150, 4, 2},          {0xFFFE, 0xE00D, 0, 1},
        {0xFFFE, 0xE0DD, 0, 0},          {0x0019, 0x1010, 0xFFFFFFFF, 0}, {0xFFFE, 0xE000, 0xFFFFFFFF, 1},
        {0x0019, 0x1011, 4, 2},          {0xFFFE, 0xE00D, 0, 1},          {0xFFFE, 0xE0DD, 0, 0},
        {0x0028, 0x0011, 2, 0},          {0x0028, 0x0100, 2, 0},          {0x7FE0, 0x0010, 4, 0},
    };
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(AsText(Bytes(file.FindValue(0x0019, 0x1011)->begin(), file.FindValue(0x0019, 0x1011)->end())), "ABCD");

    const PixelDescription d = ReadPixelAttributes(TopLevelIndex(file), 0);
    EXPECT_EQ(d.rowCount, 512);
    EXPECT_EQ(d.columnCount, 256);
    EXPECT_EQ(d.bitsAllocated, 16);
    EXPECT_EQ(d.swapWordBytes, 2) << "an OW value is big-endian 16-bit words";
    EXPECT_EQ(d.pixelDataValue.size(), 4u);
}

// A deflate stream cut short gives every element that inflated whole before the cut: here all of CT_small up to its
// pixel data, compared with the little-endian original the deflated copy was written from.
TEST(EncodedDataSetWalkTest, DeflateStreamCutShortKeepsEveryElementInflatedBeforeTheCut)
{
    Bytes cut = ReadFile(kData + "/datasets/CT_small_deflated.dcm");
    ASSERT_GT(cut.size(), 10000u);
    cut.resize(cut.size() * 3 / 5);
    const test::ScratchFolder scratch;
    const auto path = scratch.Write("cut.dcm", AsText(cut));
    DicomDataFileIO file;
    ASSERT_EQ(file.LoadFile(path), 0);
    DicomDataFileIO original;
    ASSERT_EQ(original.LoadFile(kData + "/files/CT_small.dcm"), 0);

    std::vector<std::pair<std::uint16_t, std::uint16_t>> got;
    std::vector<std::pair<std::uint16_t, std::uint16_t>> wanted;
    for (const TagElement& tag : file.DataSet()->Kept())
    {
        if (tag.group != 0x0002)
        {
            got.emplace_back(tag.group, tag.element);
        }
    }
    for (const TagElement& tag : original.DataSet()->Kept())
    {
        if (tag.Is(0x7FE0, 0x0010))
        {
            break;
        }
        if (tag.group != 0x0002)
        {
            wanted.emplace_back(tag.group, tag.element);
        }
    }
    EXPECT_EQ(got, wanted);
    EXPECT_FALSE(file.FindValue(0x7FE0, 0x0010));
    EXPECT_EQ(file.MakeInfoRecord().patientName, original.MakeInfoRecord().patientName);
}

// A stream of 80 kB that would inflate to 80 MiB is a bomb: beyond the 64 MiB every stream may inflate to, it
// needs a byte for every 128 it makes (so 10 MB here). What inflated up to 64 MiB is walked, as a file cut there.
TEST(EncodedDataSetWalkTest, DeflateBombIsWalkedUpToItsLimit)
{
    DicomWriter meta;
    meta.FileMeta(kDeflated);
    DicomWriter set(false);
    set.Text(0x0010, 0x0010, "PN", "Bomb^Small").Header(0x7FE0, 0x0010, "OB", 80u << 20);
    const Bytes stream = test::DeflateRaw(test::ByteSpan(set.Data()), std::size_t{80} << 20);
    ASSERT_LT(stream.size(), std::size_t{512} << 10);
    Bytes whole = meta.Data();
    whole.insert(whole.end(), stream.begin(), stream.end());
    const test::ScratchFolder scratch;
    const auto path = scratch.Write("bomb.dcm", AsText(whole));

    DicomDataFileIO file;
    ASSERT_EQ(file.LoadFile(path), 0);
    EXPECT_EQ(file.DataBytes().size(), meta.Size() + (std::size_t{64} << 20));
    ASSERT_TRUE(file.MakeInfoRecord().patientName);
    EXPECT_EQ(*file.MakeInfoRecord().patientName, u"Bomb^Small");
    EXPECT_FALSE(file.FindValue(0x7FE0, 0x0010)) << "the value runs past what was inflated";
}

// A writer that wrapped the stream in a zlib header (RFC 1950) against the rule still gets its data set read.
TEST(EncodedDataSetWalkTest, StreamWrappedInAZlibHeaderIsReadAsWell)
{
    DicomWriter w;
    w.FileMeta(kDeflated);
    DicomWriter set(false);
    set.Text(0x0010, 0x0010, "PN", "Wrapped^Stream").UInt16(0x0028, 0x0010, 7);
    uLongf size = compressBound(static_cast<uLong>(set.Size()));
    Bytes stream(size);
    ASSERT_EQ(compress(stream.data(), &size, set.Data().data(), static_cast<uLong>(set.Size())), Z_OK);
    stream.resize(size);
    w.Raw(test::ByteSpan(stream));
    const test::ScratchFolder scratch;
    const auto path = scratch.Write("zlib.dcm", AsText(w.Data()));
    DicomDataFileIO file;
    ASSERT_EQ(file.LoadFile(path), 0);
    EXPECT_EQ(file.MakeInfoRecord().patientName, u"Wrapped^Stream");
    EXPECT_EQ(TopLevelIndex(file).Us(0x0028, 0x0010, 0), 7);
}

// pydicom's own deflated file (written by another toolkit) walks to the last byte of what it inflates to.
TEST(EncodedDataSetWalkTest, PydicomDeflatedFileWalksToTheEndOfItsInflatedBytes)
{
    DicomDataFileIO file;
    ASSERT_EQ(file.LoadFile(kData + "/datasets/image_dfl.dcm"), 0);
    const TagElement& last = file.DataSet()->Kept().back();
    EXPECT_TRUE(last.Is(0x7FE0, 0x0010));
    EXPECT_EQ(last.value + last.length, file.DataBytes().data() + file.DataBytes().size());
    EXPECT_EQ(last.length, 512u * 512u);
    EXPECT_EQ(last.value[0], 0xD5) << "the first pixel as dcmdump shows it";
}

} // namespace
} // namespace orblane

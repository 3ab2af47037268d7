#include "support/DicomWriter.h"

#include <fstream>
#include <stdexcept>
#include <string>

namespace orblane::test {
namespace {

bool HasShortLength(std::string_view vr)
{
    static constexpr std::string_view kShort[] = {"AE", "AS", "AT", "CS", "DA", "DS", "DT", "FL", "FD", "IS", "LO",
                                                  "LT", "PN", "SH", "SL", "SS", "ST", "TM", "UI", "UL", "US"};
    for (std::string_view candidate : kShort)
    {
        if (candidate == vr)
        {
            return true;
        }
    }
    return false;
}

void Store32(Bytes& bytes, std::size_t offset, std::uint32_t value)
{
    if (offset + 4 > bytes.size())
    {
        throw std::out_of_range("patch beyond the written bytes");
    }
    for (int i = 0; i < 4; ++i)
    {
        bytes[offset + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

void WriteFile(const std::filesystem::path& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
    {
        throw std::runtime_error("cannot write " + path.string());
    }
}

} // namespace

Bytes ToBytes(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

DicomWriter::DicomWriter(bool withPreamble)
{
    if (withPreamble)
    {
        bytes.assign(128, 0);
        Raw(std::string_view("DICM"));
    }
}

DicomWriter& DicomWriter::FileMeta(std::string_view transferSyntax)
{
    const bool wasImplicit = implicit;
    implicit = false;
    Header(0x0002, 0x0000, "UL", 4);
    const std::size_t groupLengthValue = Size();
    Put32(0);
    const std::size_t groupStart = Size();
    Text(0x0002, 0x0002, "UI", "1.2.840.10008.5.1.4.1.1.7");
    Text(0x0002, 0x0010, "UI", transferSyntax);
    PatchUInt32(groupLengthValue, static_cast<std::uint32_t>(Size() - groupStart));
    implicit = transferSyntax == kImplicitLittleEndian ? true : wasImplicit;
    return *this;
}

DicomWriter& DicomWriter::SetImplicit(bool implicitVr)
{
    implicit = implicitVr;
    return *this;
}

void DicomWriter::Put16(std::uint16_t value)
{
    bytes.push_back(static_cast<std::uint8_t>(value));
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

void DicomWriter::Put32(std::uint32_t value)
{
    Put16(static_cast<std::uint16_t>(value));
    Put16(static_cast<std::uint16_t>(value >> 16));
}

void DicomWriter::PutHeader(std::uint16_t group, std::uint16_t element, std::string_view vr, std::uint32_t length)
{
    Put16(group);
    Put16(element);
    if (group == 0xFFFE || (implicit && group != 0x0002))
    {
        Put32(length);
        return;
    }
    if (vr.size() != 2)
    {
        throw std::invalid_argument("a VR has two letters");
    }
    Raw(vr);
    if (HasShortLength(vr))
    {
        if (length > 0xFFFF)
        {
            throw std::length_error("value too long for a 2-byte length");
        }
        Put16(static_cast<std::uint16_t>(length));
    }
    else
    {
        Put16(0);
        Put32(length);
    }
}

DicomWriter& DicomWriter::Header(std::uint16_t group, std::uint16_t element, std::string_view vr, std::uint32_t length)
{
    PutHeader(group, element, vr, length);
    return *this;
}

DicomWriter& DicomWriter::Element(std::uint16_t group, std::uint16_t element, std::string_view vr, ByteSpan value)
{
    PutHeader(group, element, vr, static_cast<std::uint32_t>(value.size()));
    return Raw(value);
}

DicomWriter& DicomWriter::Text(std::uint16_t group, std::uint16_t element, std::string_view vr, std::string_view text)
{
    Bytes value = ToBytes(text);
    if (value.size() % 2 != 0)
    {
        value.push_back(vr == "UI" ? 0 : ' ');
    }
    return Element(group, element, vr, value);
}

DicomWriter& DicomWriter::UInt16(std::uint16_t group, std::uint16_t element, std::uint16_t value)
{
    const std::uint8_t raw[2] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)};
    return Element(group, element, "US", raw);
}

DicomWriter& DicomWriter::GreyPixelModule(int rows, int columns, int bitsAllocated, int bitsStored, int frames)
{
    UInt16(0x0028, 0x0002, 1).Text(0x0028, 0x0004, "CS", "MONOCHROME2");
    if (frames > 0)
    {
        Text(0x0028, 0x0008, "IS", std::to_string(frames));
    }
    return UInt16(0x0028, 0x0010, static_cast<std::uint16_t>(rows))
        .UInt16(0x0028, 0x0011, static_cast<std::uint16_t>(columns))
        .UInt16(0x0028, 0x0100, static_cast<std::uint16_t>(bitsAllocated))
        .UInt16(0x0028, 0x0101, static_cast<std::uint16_t>(bitsStored))
        .UInt16(0x0028, 0x0102, static_cast<std::uint16_t>(bitsStored - 1))
        .UInt16(0x0028, 0x0103, 0);
}

DicomWriter& DicomWriter::CtWindowAndRescale()
{
    return Text(0x0028, 0x1050, "DS", "40")
        .Text(0x0028, 0x1051, "DS", "400")
        .Text(0x0028, 0x1052, "DS", "-1024")
        .Text(0x0028, 0x1053, "DS", "1");
}

DicomWriter& DicomWriter::UInt32(std::uint16_t group, std::uint16_t element, std::uint32_t value)
{
    const std::uint8_t raw[4] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                                 static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
    return Element(group, element, "UL", raw);
}

DicomWriter& DicomWriter::BeginSequence(std::uint16_t group, std::uint16_t element, Length length)
{
    PutHeader(group, element, "SQ", length == Length::Undefined ? 0xFFFFFFFF : 0);
    open.push_back({Size() - 4, Size(), length, false});
    return *this;
}

DicomWriter& DicomWriter::BeginEncapsulated()
{
    PutHeader(0x7FE0, 0x0010, "OB", 0xFFFFFFFF);
    open.push_back({Size() - 4, Size(), Length::Undefined, false});
    return *this;
}

DicomWriter& DicomWriter::BeginItem(Length length)
{
    PutHeader(0xFFFE, 0xE000, "", length == Length::Undefined ? 0xFFFFFFFF : 0);
    open.push_back({Size() - 4, Size(), length, true});
    return *this;
}

DicomWriter& DicomWriter::Fragment(ByteSpan fragment)
{
    // Item lengths are even on every medium; an odd stream carries one zero byte after its end, as writers pad it.
    const bool odd = fragment.size() % 2 != 0;
    PutHeader(0xFFFE, 0xE000, "", static_cast<std::uint32_t>(fragment.size() + (odd ? 1 : 0)));
    Raw(fragment);
    if (odd)
    {
        const std::uint8_t pad = 0;
        Raw(ByteSpan(&pad, 1));
    }
    return *this;
}

DicomWriter& DicomWriter::Close(bool item)
{
    if (open.empty() || open.back().item != item)
    {
        throw std::logic_error(item ? "no item to end" : "no sequence to end");
    }
    const Open top = open.back();
    open.pop_back();
    if (top.length == Length::Defined)
    {
        PatchUInt32(top.lengthField, static_cast<std::uint32_t>(Size() - top.valueStart));
    }
    else
    {
        PutHeader(0xFFFE, item ? 0xE00D : 0xE0DD, "", 0);
    }
    return *this;
}

DicomWriter& DicomWriter::EndItem()
{
    return Close(true);
}

DicomWriter& DicomWriter::EndSequence()
{
    return Close(false);
}

DicomWriter& DicomWriter::Raw(ByteSpan raw)
{
    bytes.insert(bytes.end(), raw.begin(), raw.end());
    return *this;
}

DicomWriter& DicomWriter::Raw(std::string_view raw)
{
    bytes.insert(bytes.end(), raw.begin(), raw.end());
    return *this;
}

void DicomWriter::PatchUInt32(std::size_t offset, std::uint32_t value)
{
    Store32(bytes, offset, value);
}

void DicomWriter::Truncate(std::size_t size)
{
    if (size < bytes.size())
    {
        bytes.resize(size);
    }
}

void DicomWriter::WriteTo(const std::filesystem::path& path) const
{
    WriteFile(path, bytes);
}

void DicomDirFile::PatchUInt32(std::size_t offset, std::uint32_t value)
{
    Store32(bytes, offset, value);
}

void DicomDirFile::WriteTo(const std::filesystem::path& path) const
{
    WriteFile(path, bytes);
}

namespace {

struct RecordBuilder
{
    DicomWriter& writer;
    const DicomDirOptions& options;
    DicomDirFile& file;

    // Writes one record with its offsets left 0 and answers its index in file.records.
    template <typename Attributes> std::size_t Begin(const char* type, Attributes attributes)
    {
        DirRecordInfo info{type, static_cast<std::uint32_t>(writer.Size()), 0, 0};
        writer.BeginItem(options.records);
        info.nextField = writer.Size() + 8;
        writer.UInt32(0x0004, 0x1400, 0);
        writer.UInt16(0x0004, 0x1410, 0xFFFF);
        info.lowerField = writer.Size() + 8;
        writer.UInt32(0x0004, 0x1420, 0);
        writer.Text(0x0004, 0x1430, "CS", type);
        attributes();
        writer.EndItem();
        file.records.push_back(info);
        return file.records.size() - 1;
    }

    // Links a level: each record's next to its sibling; answers the first record's offset (0 for none).
    std::uint32_t Link(const std::vector<std::size_t>& level)
    {
        for (std::size_t i = 0; i + 1 < level.size(); ++i)
        {
            writer.PatchUInt32(file.records[level[i]].nextField, file.records[level[i + 1]].offset);
        }
        return level.empty() ? 0 : file.records[level.front()].offset;
    }

    void SetLower(std::size_t record, std::uint32_t lower)
    {
        writer.PatchUInt32(file.records[record].lowerField, lower);
    }
};

} // namespace

DicomDirFile BuildDicomDir(const std::vector<DirPatient>& patients, const DicomDirOptions& options)
{
    DicomDirFile file;
    DicomWriter writer;
    writer.FileMeta(options.implicitVr ? kImplicitLittleEndian : kExplicitLittleEndian);
    writer.Text(0x0004, 0x1130, "CS", "ORBLANE_TEST");
    if (options.rootOffset)
    {
        file.rootField = writer.Size() + 8;
        writer.UInt32(0x0004, 0x1200, 0);
    }
    writer.UInt32(0x0004, 0x1202, 0);
    writer.UInt16(0x0004, 0x1212, 0);
    writer.BeginSequence(0x0004, 0x1220, options.sequence);

    RecordBuilder builder{writer, options, file};
    std::vector<std::size_t> patientLevel;
    for (const DirPatient& patient : patients)
    {
        const std::size_t patientRecord = builder.Begin("PATIENT", [&] {
            if (!patient.characterSet.empty())
            {
                writer.Text(0x0008, 0x0005, "CS", patient.characterSet);
            }
            writer.Text(0x0010, 0x0010, "PN", patient.name);
            writer.Text(0x0010, 0x0020, "LO", patient.id);
            writer.Text(0x0010, 0x0030, "DA", patient.birthDate);
            writer.Text(0x0010, 0x0040, "CS", patient.sex);
        });
        patientLevel.push_back(patientRecord);
        std::vector<std::size_t> studyLevel;
        for (const DirStudy& study : patient.studies)
        {
            const std::size_t studyRecord = builder.Begin("STUDY", [&] {
                writer.Text(0x0008, 0x0020, "DA", study.date);
                writer.Text(0x0008, 0x0030, "TM", study.time);
            });
            studyLevel.push_back(studyRecord);
            std::vector<std::size_t> seriesLevel;
            for (const DirSeries& series : study.series)
            {
                const std::size_t seriesRecord = builder.Begin("SERIES", [&] {
                    writer.Text(0x0008, 0x0060, "CS", series.modality);
                    if (!series.uid.empty())
                    {
                        writer.Text(0x0020, 0x000E, "UI", series.uid);
                    }
                    if (!series.icon.empty())
                    {
                        writer.BeginSequence(0x0088, 0x0200, Length::Defined)
                            .BeginItem(Length::Defined)
                            .UInt16(0x0028, 0x0002, 1)
                            .Text(0x0028, 0x0004, "CS", "MONOCHROME2")
                            .UInt16(0x0028, 0x0010, series.iconSide)
                            .UInt16(0x0028, 0x0011, series.iconSide)
                            .UInt16(0x0028, 0x0100, 8)
                            .UInt16(0x0028, 0x0101, 8)
                            .UInt16(0x0028, 0x0102, 7)
                            .UInt16(0x0028, 0x0103, 0)
                            .Element(0x7FE0, 0x0010, "OB", series.icon)
                            .EndItem()
                            .EndSequence();
                    }
                });
                seriesLevel.push_back(seriesRecord);
                std::vector<std::size_t> imageLevel;
                for (const std::string& fileId : series.fileIds)
                {
                    imageLevel.push_back(builder.Begin("IMAGE", [&] {
                        if (!fileId.empty())
                        {
                            writer.Text(0x0004, 0x1500, "CS", fileId);
                        }
                    }));
                }
                builder.SetLower(seriesRecord, builder.Link(imageLevel));
            }
            builder.SetLower(studyRecord, builder.Link(seriesLevel));
        }
        builder.SetLower(patientRecord, builder.Link(studyLevel));
    }
    const std::uint32_t root = builder.Link(patientLevel);
    writer.EndSequence();
    file.bytes = writer.Data();
    if (options.rootOffset)
    {
        file.PatchUInt32(file.rootField, root);
    }
    return file;
}

} // namespace orblane::test

#include "DemoMedium.h"
#include "DemoSeries.h"

#include "LosslessFrames.h"
#include "Phantoms.h"

#include "imaging/DisplayBitmap.h"
#include "imaging/JpegBaseline.h"
#include "support/DicomWriter.h"

#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace orblane::demo {
namespace {

using test::Bytes;
using test::DicomWriter;
using test::Length;

// Our own UID root, derived from a UUID (the 2.25 arc), so that no UID here can clash with a real one.
constexpr std::string_view kUidRoot = "2.25.147690952729199263804827195106186383122";
constexpr std::string_view kImplementationUid = "2.25.147690952729199263804827195106186383122.0.1";
constexpr std::string_view kImplementationName = "ORBLANE_DEMO";
constexpr std::string_view kExplicitLittle = "1.2.840.10008.1.2.1";
constexpr std::string_view kJpegBaseline = "1.2.840.10008.1.2.4.50";
constexpr std::string_view kJpegLossless = "1.2.840.10008.1.2.4.70";
constexpr std::string_view kCtStorage = "1.2.840.10008.5.1.4.1.1.2";
constexpr std::string_view kMrStorage = "1.2.840.10008.5.1.4.1.1.4";
constexpr std::string_view kCrStorage = "1.2.840.10008.5.1.4.1.1.1";
constexpr std::string_view kPhotoStorage = "1.2.840.10008.5.1.4.1.1.77.1.4";
constexpr std::string_view kMediaDirectoryStorage = "1.2.840.10008.1.3.10";
constexpr std::string_view kEncapsulatedPdfStorage = "1.2.840.10008.5.1.4.1.1.104.1";
constexpr std::string_view kComprehensiveSrStorage = "1.2.840.10008.5.1.4.1.1.88.33";
constexpr std::string_view kKeyObjectSelectionStorage = "1.2.840.10008.5.1.4.1.1.88.59";
constexpr std::string_view kInstitution = "Orblane Demo Hospital";

std::string Uid(int kind, std::initializer_list<int> path)
{
    std::string uid(kUidRoot);
    uid += "." + std::to_string(kind);
    for (const int part : path)
    {
        uid += "." + std::to_string(part);
    }
    return uid;
}

std::string Decimal(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

// The elements of one data set, kept by tag so that they are written in ascending order whatever order the code
// adds them in.
class Elements
{
public:
    void Text(std::uint16_t group, std::uint16_t element, std::string vr, std::string value)
    {
        items[Key(group, element)] = [=](DicomWriter& w) { w.Text(group, element, vr, value); };
    }
    void UInt16(std::uint16_t group, std::uint16_t element, std::uint16_t value)
    {
        items[Key(group, element)] = [=](DicomWriter& w) { w.UInt16(group, element, value); };
    }
    void UInt32(std::uint16_t group, std::uint16_t element, std::uint32_t value)
    {
        items[Key(group, element)] = [=](DicomWriter& w) { w.UInt32(group, element, value); };
    }
    void Value(std::uint16_t group, std::uint16_t element, std::string vr, Bytes value)
    {
        items[Key(group, element)] = [group, element, vr, v = std::move(value)](DicomWriter& w) {
            w.Element(group, element, vr, v);
        };
    }
    // A sequence or anything else the caller writes itself, at its tag's place.
    void Written(std::uint16_t group, std::uint16_t element, std::function<void(DicomWriter&)> write)
    {
        items[Key(group, element)] = std::move(write);
    }
    void Encapsulated(std::vector<Bytes> frames)
    {
        items[Key(0x7FE0, 0x0010)] = [f = std::move(frames)](DicomWriter& w) {
            w.BeginEncapsulated().Fragment({});
            for (const Bytes& frame : f)
            {
                w.Fragment(frame);
            }
            w.EndSequence();
        };
    }
    void WriteTo(DicomWriter& writer) const
    {
        for (const auto& [tag, write] : items)
        {
            write(writer);
        }
    }

private:
    static std::uint32_t Key(std::uint16_t group, std::uint16_t element)
    {
        return (static_cast<std::uint32_t>(group) << 16) | element;
    }
    std::map<std::uint32_t, std::function<void(DicomWriter&)>> items;
};

// Group 0002 of a DICOM file (PS3.10), with its group length.
void WriteFileMeta(DicomWriter& writer, std::string_view sopClass, std::string_view sopInstance,
                   std::string_view transferSyntax)
{
    writer.UInt32(0x0002, 0x0000, 0);
    const std::size_t lengthField = writer.Size() - 4;
    const std::size_t start = writer.Size();
    const Bytes version{0x00, 0x01};
    writer.Element(0x0002, 0x0001, "OB", version);
    writer.Text(0x0002, 0x0002, "UI", sopClass);
    writer.Text(0x0002, 0x0003, "UI", sopInstance);
    writer.Text(0x0002, 0x0010, "UI", transferSyntax);
    writer.Text(0x0002, 0x0012, "UI", kImplementationUid);
    writer.Text(0x0002, 0x0013, "SH", kImplementationName);
    writer.PatchUInt32(lengthField, static_cast<std::uint32_t>(writer.Size() - start));
}

Bytes LittleEndian(const std::vector<std::uint16_t>& samples)
{
    Bytes bytes(samples.size() * 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
    {
        bytes[2 * i] = static_cast<std::uint8_t>(samples[i]);
        bytes[2 * i + 1] = static_cast<std::uint8_t>(samples[i] >> 8);
    }
    return bytes;
}

// Fragments have an even length; a pad byte after the end-of-image marker is what DICOM writers add.
Bytes EvenLength(Bytes bytes)
{
    if (bytes.size() % 2 != 0)
    {
        bytes.push_back(0);
    }
    return bytes;
}

// ---- The medium's contents -------------------------------------------------------------------------------------

struct ImageRecord
{
    std::string fileId; // backslash-separated, as the DICOMDIR stores it
    std::string sopClass;
    std::string sopInstance;
    std::string transferSyntax;
    int number = 0;
    std::vector<std::uint8_t> icon; // kIconSize squared levels for the DICOMDIR, or none
    std::string recordType = "IMAGE";
    std::string contentDate; // a document's; none for an image
    std::string contentTime;
    // A document's record keys after the Instance Number (content date and time, concept name, flags, title).
    std::function<void(DicomWriter&)> documentKeys;
};

struct SeriesRecord
{
    std::string modality;
    std::string description;
    std::string uid;
    int number = 0;
    std::string frameOfReference; // images with a plane: the study's; none for projections without one
    std::vector<ImageRecord> images;
};

struct StudyRecord
{
    std::string date;
    std::string time;
    std::string description;
    std::string accession;
    std::string uid;
    std::string id;
    std::string frameOfReference; // each study its own: a follow-up shares only the patient with the first
    bool icons = false;           // its DICOMDIR records carry Icon Image Sequences
    std::vector<SeriesRecord> series;
};

struct PatientRecord
{
    std::string characterSet; // empty: none written
    std::string name;         // bytes as stored, escape sequences included
    std::string id;
    std::string birthDate;
    std::string sex;
    std::vector<StudyRecord> studies;
};

// Where a new instance goes and what it shares with its series.
struct Context
{
    std::filesystem::path folder;
    int patientIndex = 0;
    int studyIndex = 0;
    const PatientRecord* patient = nullptr;
    const StudyRecord* study = nullptr;
    SeriesRecord* series = nullptr;
};

std::string Component(std::string_view prefix, int number)
{
    char text[16];
    std::snprintf(text, sizeof text, "%.*s%05d", static_cast<int>(prefix.size()), prefix.data(), number);
    return text;
}

// Patient, study and series attributes, and the instance's identity; the caller adds the image.
Elements CommonElements(const Context& c, const ImageRecord& image)
{
    Elements e;
    if (!c.patient->characterSet.empty())
    {
        e.Text(0x0008, 0x0005, "CS", c.patient->characterSet);
    }
    e.Text(0x0008, 0x0016, "UI", image.sopClass);
    e.Text(0x0008, 0x0018, "UI", image.sopInstance);
    e.Text(0x0008, 0x0020, "DA", c.study->date);
    e.Text(0x0008, 0x0030, "TM", c.study->time);
    e.Text(0x0008, 0x0050, "SH", c.study->accession);
    e.Text(0x0008, 0x0060, "CS", c.series->modality);
    e.Text(0x0008, 0x0070, "LO", "Orblane synthetic phantom");
    e.Text(0x0008, 0x0080, "LO", std::string(kInstitution));
    e.Text(0x0008, 0x1030, "LO", c.study->description);
    e.Text(0x0008, 0x103E, "LO", c.series->description);
    e.Text(0x0010, 0x0010, "PN", c.patient->name);
    e.Text(0x0010, 0x0020, "LO", c.patient->id);
    e.Text(0x0010, 0x0030, "DA", c.patient->birthDate);
    e.Text(0x0010, 0x0040, "CS", c.patient->sex);
    e.Text(0x0020, 0x000D, "UI", c.study->uid);
    e.Text(0x0020, 0x000E, "UI", c.series->uid);
    e.Text(0x0020, 0x0010, "SH", c.study->id);
    e.Text(0x0020, 0x0011, "IS", std::to_string(c.series->number));
    e.Text(0x0020, 0x0013, "IS", std::to_string(image.number));
    if (!c.series->frameOfReference.empty())
    {
        e.Text(0x0020, 0x0052, "UI", c.series->frameOfReference);
    }
    return e;
}

void Grey16(Elements& e, int rows, int columns, int bitsStored, const char* photometric)
{
    e.UInt16(0x0028, 0x0002, 1);
    e.Text(0x0028, 0x0004, "CS", photometric);
    e.UInt16(0x0028, 0x0010, static_cast<std::uint16_t>(rows));
    e.UInt16(0x0028, 0x0011, static_cast<std::uint16_t>(columns));
    e.UInt16(0x0028, 0x0100, 16);
    e.UInt16(0x0028, 0x0101, static_cast<std::uint16_t>(bitsStored));
    e.UInt16(0x0028, 0x0102, static_cast<std::uint16_t>(bitsStored - 1));
    e.UInt16(0x0028, 0x0103, 0);
}

void Slice(Elements& e, double spacing, int size, double z)
{
    const double corner = -(size / 2 - 0.5) * spacing;
    e.Text(0x0018, 0x0050, "DS", "5");
    e.Text(0x0020, 0x0032, "DS", Decimal(corner) + "\\" + Decimal(corner) + "\\" + Decimal(z));
    e.Text(0x0020, 0x0037, "DS", "1\\0\\0\\0\\1\\0");
    e.Text(0x0020, 0x1041, "DS", Decimal(z));
    e.Text(0x0028, 0x0030, "DS", Decimal(spacing) + "\\" + Decimal(spacing));
}

// Adds an instance to the series and writes its file below the medium's folder.
void WriteInstance(Context& c, std::string_view sopClass, std::string_view transferSyntax,
                   const std::function<void(Elements&)>& image)
{
    ImageRecord record;
    record.number = static_cast<int>(c.series->images.size()) + 1;
    record.sopClass = sopClass;
    record.transferSyntax = transferSyntax;
    record.sopInstance = Uid(3, {c.patientIndex, c.studyIndex, c.series->number, record.number});
    const std::string patient = Component("PAT", c.patientIndex);
    const std::string study = Component("STU", c.studyIndex);
    const std::string series = Component("SER", c.series->number);
    const std::string file = Component("IMG", record.number);
    record.fileId = "DICOM\\" + patient + "\\" + study + "\\" + series + "\\" + file;

    Elements e = CommonElements(c, record);
    image(e);
    DicomWriter writer;
    WriteFileMeta(writer, record.sopClass, record.sopInstance, record.transferSyntax);
    e.WriteTo(writer);
    const std::filesystem::path path = c.folder / "DICOM" / patient / study / series / file;
    std::filesystem::create_directories(path.parent_path());
    writer.WriteTo(path);
    c.series->images.push_back(std::move(record));
}

SeriesRecord& AddSeries(Context& c, StudyRecord& study, std::string modality, std::string description)
{
    SeriesRecord series;
    series.modality = std::move(modality);
    series.description = std::move(description);
    series.number = static_cast<int>(study.series.size()) + 1;
    series.uid = Uid(2, {c.patientIndex, c.studyIndex, series.number});
    if (series.modality == "CT" || series.modality == "MR")
    {
        series.frameOfReference = study.frameOfReference;
    }
    study.series.push_back(std::move(series));
    c.series = &study.series.back();
    return study.series.back();
}

void WriteCtSeries(Context& c, int sliceCount, bool followUp, bool lossless)
{
    for (int i = 0; i < sliceCount; ++i)
    {
        const double position = static_cast<double>(i) / (sliceCount - 1);
        const std::vector<std::uint16_t> pixels =
            CtChestSlice(position, followUp, 0xC7000000ull + static_cast<std::uint64_t>(c.studyIndex * 1000 + i));
        WriteInstance(c, kCtStorage, lossless ? kJpegLossless : kExplicitLittle, [&](Elements& e) {
            e.Text(0x0008, 0x0008, "CS", "ORIGINAL\\PRIMARY\\AXIAL");
            e.Text(0x0018, 0x0060, "DS", "120");
            Slice(e, kCtPixelSpacing, kCtSize, -5.0 * i);
            Grey16(e, kCtSize, kCtSize, 12, "MONOCHROME2");
            e.Text(0x0028, 0x1050, "DS", "40");
            e.Text(0x0028, 0x1051, "DS", "400");
            e.Text(0x0028, 0x1052, "DS", std::to_string(kCtRescaleIntercept));
            e.Text(0x0028, 0x1053, "DS", "1");
            e.Text(0x0028, 0x1054, "LO", "HU");
            if (lossless)
            {
                e.Text(0x0028, 0x2110, "CS", "00");
                e.Encapsulated({EvenLength(EncodeLosslessFrame(pixels, kCtSize, kCtSize, 12))});
            }
            else
            {
                e.Value(0x7FE0, 0x0010, "OW", LittleEndian(pixels));
            }
        });
    }
}

// An overlay plane (PS3.3 C.9.2) as some MR systems mark an image: a ring round a region and a cross beside it, one
// bit a pixel packed low bit first in Overlay Data.
void MarkerOverlay(Elements& e)
{
    std::vector<std::uint8_t> bits(static_cast<std::size_t>(kMrSize) * kMrSize / 8, 0);
    const auto set = [&](int row, int column) {
        const auto index = static_cast<std::size_t>(row) * kMrSize + static_cast<std::size_t>(column);
        bits[index / 8] = static_cast<std::uint8_t>(bits[index / 8] | (1u << (index % 8)));
    };
    for (int row = 0; row < kMrSize; ++row)
    {
        for (int column = 0; column < kMrSize; ++column)
        {
            const double d = std::hypot(row - 100.0, column - 150.0);
            if (d >= 30.0 && d <= 32.0)
            {
                set(row, column);
            }
        }
    }
    for (int k = -12; k <= 12; ++k)
    {
        set(180 + k, 70);
        set(180, 70 + k);
    }
    e.UInt16(0x6000, 0x0010, static_cast<std::uint16_t>(kMrSize));
    e.UInt16(0x6000, 0x0011, static_cast<std::uint16_t>(kMrSize));
    e.Text(0x6000, 0x0022, "LO", "Demo marker");
    e.Text(0x6000, 0x0040, "CS", "G");
    e.Value(0x6000, 0x0050, "SS", Bytes{1, 0, 1, 0});
    e.UInt16(0x6000, 0x0100, 1);
    e.UInt16(0x6000, 0x0102, 0);
    e.Value(0x6000, 0x3000, "OW", Bytes(bits.begin(), bits.end()));
}

void WriteMrSeries(Context& c, int sliceCount, MrWeighting weighting, bool markMiddleSlice = false)
{
    const bool t1 = weighting == MrWeighting::T1;
    for (int i = 0; i < sliceCount; ++i)
    {
        const double position = static_cast<double>(i) / (sliceCount - 1);
        const std::vector<std::uint16_t> pixels =
            MrHeadSlice(position, weighting,
                        0x3A000000ull + static_cast<std::uint64_t>(c.studyIndex * 1000 + c.series->number * 100 + i));
        WriteInstance(c, kMrStorage, kExplicitLittle, [&](Elements& e) {
            e.Text(0x0008, 0x0008, "CS", "ORIGINAL\\PRIMARY\\M\\ND");
            e.Text(0x0018, 0x0080, "DS", t1 ? "500" : "4000"); // repetition time
            e.Text(0x0018, 0x0081, "DS", t1 ? "12" : "95");    // echo time
            e.Text(0x0018, 0x0087, "DS", "1.5");               // field strength
            Slice(e, kMrPixelSpacing, kMrSize, -40.0 + 5.0 * i);
            Grey16(e, kMrSize, kMrSize, 12, "MONOCHROME2");
            e.Text(0x0028, 0x1050, "DS", t1 ? "600" : "800");
            e.Text(0x0028, 0x1051, "DS", t1 ? "1200" : "1700");
            e.Value(0x7FE0, 0x0010, "OW", LittleEndian(pixels));
            if (markMiddleSlice && i == sliceCount / 2)
            {
                MarkerOverlay(e);
            }
        });
        if (c.study->icons)
        {
            c.series->images.back().icon = MakeIcon(pixels, kMrSize, kMrSize, t1 ? 600 : 800, t1 ? 1200 : 1700);
        }
    }
}

// A frontal localizer of the chest CT: a projection whose plane holds the scanner's long axis, in the axial
// series' frame of reference, so that the viewer can draw where each slice lies on it.
void WriteLocalizer(Context& c, int axialSlices)
{
    const LocalizerImage image = ChestLocalizer(axialSlices);
    WriteInstance(c, kCtStorage, kExplicitLittle, [&](Elements& e) {
        e.Text(0x0008, 0x0008, "CS", "ORIGINAL\\PRIMARY\\LOCALIZER");
        e.Text(0x0018, 0x0060, "DS", "120");
        // The first pixel's centre: that of the axial slices' first two columns, on the plane y = 0.
        const double corner = -(kCtSize / 2 - 1) * kCtPixelSpacing;
        e.Text(0x0020, 0x0032, "DS", Decimal(corner) + "\\0\\" + Decimal(kLocalizerTopZ));
        e.Text(0x0020, 0x0037, "DS", "1\\0\\0\\0\\0\\-1");
        e.Text(0x0028, 0x0030, "DS", Decimal(kLocalizerSpacing) + "\\" + Decimal(kLocalizerSpacing));
        Grey16(e, kLocalizerRows, kLocalizerColumns, 12, "MONOCHROME2");
        e.Text(0x0028, 0x1050, "DS", std::to_string(image.windowCentre));
        e.Text(0x0028, 0x1051, "DS", std::to_string(image.windowWidth));
        e.Text(0x0028, 0x1052, "DS", std::to_string(kCtRescaleIntercept));
        e.Text(0x0028, 0x1053, "DS", "1");
        e.Value(0x7FE0, 0x0010, "OW", LittleEndian(image.values));
    });
}

void WriteRadiograph(Context& c)
{
    const std::vector<std::uint16_t> pixels = ChestRadiograph(0xC4E57ull);
    WriteInstance(c, kCrStorage, kExplicitLittle, [&](Elements& e) {
        e.Text(0x0008, 0x0008, "CS", "ORIGINAL\\PRIMARY");
        e.Text(0x0018, 0x0015, "CS", "CHEST");
        e.Text(0x0018, 0x0060, "DS", "125");
        e.Text(0x0018, 0x5101, "CS", "PA");
        e.Text(0x0020, 0x0020, "CS", "L\\F");
        Grey16(e, kRadiographRows, kRadiographColumns, 12, "MONOCHROME1");
        e.Text(0x0028, 0x0030, "DS", Decimal(kRadiographPixelSpacing) + "\\" + Decimal(kRadiographPixelSpacing));
        // Measured at the detector, as a CR reader gives it: Pixel Spacing equal to Imager Pixel Spacing.
        e.Text(0x0018, 0x1164, "DS", Decimal(kRadiographPixelSpacing) + "\\" + Decimal(kRadiographPixelSpacing));
        e.Text(0x0028, 0x1050, "DS", "2000");
        e.Text(0x0028, 0x1051, "DS", "3800");
        e.Text(0x0028, 0x1052, "DS", "0");
        e.Text(0x0028, 0x1053, "DS", "1");
        e.Value(0x7FE0, 0x0010, "OW", LittleEndian(pixels));
    });
}

void WritePhotograph(Context& c)
{
    const std::vector<std::uint8_t> rgb = SkinPhotograph(0x5C1Full);
    DisplayBitmap bitmap;
    if (!bitmap.Create(kPhotoWidth, kPhotoHeight, 32))
    {
        throw std::runtime_error("no memory for the photograph");
    }
    for (int row = 0; row < kPhotoHeight; ++row)
    {
        std::uint32_t* out = bitmap.Pixels32(row);
        for (int column = 0; column < kPhotoWidth; ++column)
        {
            const std::size_t at = (static_cast<std::size_t>(row) * kPhotoWidth + column) * 3;
            out[column] = MakeDisplayPixel(rgb[at], rgb[at + 1], rgb[at + 2]);
        }
    }
    std::uint8_t* data = nullptr;
    unsigned long size = 0;
    if (!EncodeJpeg(bitmap, 92, false, data, size))
    {
        throw std::runtime_error("the photograph could not be encoded");
    }
    Bytes jpeg(data, data + size);
    FreeJpeg(data);

    WriteInstance(c, kPhotoStorage, kJpegBaseline, [&](Elements& e) {
        e.Text(0x0008, 0x0008, "CS", "ORIGINAL\\PRIMARY");
        e.Text(0x0018, 0x0015, "CS", "SKIN");
        e.UInt16(0x0028, 0x0002, 3);
        e.Text(0x0028, 0x0004, "CS", "YBR_FULL_422");
        e.UInt16(0x0028, 0x0006, 0);
        e.UInt16(0x0028, 0x0010, kPhotoHeight);
        e.UInt16(0x0028, 0x0011, kPhotoWidth);
        e.UInt16(0x0028, 0x0100, 8);
        e.UInt16(0x0028, 0x0101, 8);
        e.UInt16(0x0028, 0x0102, 7);
        e.UInt16(0x0028, 0x0103, 0);
        e.Text(0x0028, 0x2110, "CS", "01");
        e.Text(0x0028, 0x2114, "CS", "ISO_10918_1");
        e.Encapsulated({EvenLength(std::move(jpeg))});
    });
}

// ---- DICOMDIR --------------------------------------------------------------------------------------------------

// Writes the directory records depth first, each an item of defined length (as most media writers store them),
// and links them once every offset is known.
class DicomDirBuilder
{
public:
    explicit DicomDirBuilder(DicomWriter& w) : writer(w) {}

    void Write(const std::vector<PatientRecord>& patients)
    {
        std::vector<std::size_t> patientLevel;
        for (const PatientRecord& p : patients)
        {
            const std::size_t patient = Begin("PATIENT");
            patientLevel.push_back(patient);
            if (!p.characterSet.empty())
            {
                writer.Text(0x0008, 0x0005, "CS", p.characterSet);
            }
            writer.Text(0x0010, 0x0010, "PN", p.name);
            writer.Text(0x0010, 0x0020, "LO", p.id);
            writer.Text(0x0010, 0x0030, "DA", p.birthDate);
            writer.Text(0x0010, 0x0040, "CS", p.sex);
            writer.EndItem();
            std::vector<std::size_t> studyLevel;
            for (const StudyRecord& s : p.studies)
            {
                studyLevel.push_back(Begin("STUDY"));
                writer.Text(0x0008, 0x0020, "DA", s.date);
                writer.Text(0x0008, 0x0030, "TM", s.time);
                writer.Text(0x0008, 0x0050, "SH", s.accession);
                writer.Text(0x0008, 0x1030, "LO", s.description);
                writer.Text(0x0020, 0x000D, "UI", s.uid);
                writer.Text(0x0020, 0x0010, "SH", s.id);
                writer.EndItem();
                std::vector<std::size_t> seriesLevel;
                for (const SeriesRecord& r : s.series)
                {
                    seriesLevel.push_back(Begin("SERIES"));
                    writer.Text(0x0008, 0x0060, "CS", r.modality);
                    writer.Text(0x0008, 0x103E, "LO", r.description);
                    writer.Text(0x0020, 0x000E, "UI", r.uid);
                    writer.Text(0x0020, 0x0011, "IS", std::to_string(r.number));
                    if (!r.frameOfReference.empty())
                    {
                        writer.Text(0x0020, 0x0052, "UI", r.frameOfReference);
                    }
                    writer.EndItem();
                    std::vector<std::size_t> imageLevel;
                    for (const ImageRecord& i : r.images)
                    {
                        imageLevel.push_back(Begin(i.recordType));
                        writer.Text(0x0004, 0x1500, "CS", i.fileId);
                        writer.Text(0x0004, 0x1510, "UI", i.sopClass);
                        writer.Text(0x0004, 0x1511, "UI", i.sopInstance);
                        writer.Text(0x0004, 0x1512, "UI", i.transferSyntax);
                        if (!i.contentDate.empty())
                        {
                            writer.Text(0x0008, 0x0023, "DA", i.contentDate);
                            writer.Text(0x0008, 0x0033, "TM", i.contentTime);
                        }
                        writer.Text(0x0020, 0x0013, "IS", std::to_string(i.number));
                        if (i.documentKeys)
                        {
                            i.documentKeys(writer);
                        }
                        if (!i.icon.empty())
                        {
                            WriteIcon(i.icon);
                        }
                        writer.EndItem();
                    }
                    Link(seriesLevel.back(), imageLevel);
                }
                Link(studyLevel.back(), seriesLevel);
            }
            Link(patient, studyLevel);
        }
        Link(std::nullopt, patientLevel);
        rootFirst = records[patientLevel.front()].offset;
        rootLast = records[patientLevel.back()].offset;
    }

    std::uint32_t rootFirst = 0;
    std::uint32_t rootLast = 0;

private:
    struct Record
    {
        std::uint32_t offset; // of the item tag, from the first byte of the file
        std::size_t nextField;
        std::size_t lowerField;
    };

    // An Icon Image Sequence (PS3.3 F.7): 8-bit MONOCHROME2, native.
    void WriteIcon(const std::vector<std::uint8_t>& icon)
    {
        writer.BeginSequence(0x0088, 0x0200, Length::Defined).BeginItem(Length::Defined);
        writer.UInt16(0x0028, 0x0002, 1);
        writer.Text(0x0028, 0x0004, "CS", "MONOCHROME2");
        writer.UInt16(0x0028, 0x0010, kIconSize);
        writer.UInt16(0x0028, 0x0011, kIconSize);
        writer.UInt16(0x0028, 0x0100, 8);
        writer.UInt16(0x0028, 0x0101, 8);
        writer.UInt16(0x0028, 0x0102, 7);
        writer.UInt16(0x0028, 0x0103, 0);
        writer.Element(0x7FE0, 0x0010, "OB", icon);
        writer.EndItem().EndSequence();
    }

    // Starts a record with its links (patched later), in-use flag and type; answers its index.
    std::size_t Begin(std::string_view type)
    {
        Record record{};
        record.offset = static_cast<std::uint32_t>(writer.Size());
        writer.BeginItem(Length::Defined);
        record.nextField = writer.Size() + 8;
        writer.UInt32(0x0004, 0x1400, 0);
        writer.UInt16(0x0004, 0x1410, 0xFFFF);
        record.lowerField = writer.Size() + 8;
        writer.UInt32(0x0004, 0x1420, 0);
        writer.Text(0x0004, 0x1430, "CS", type);
        records.push_back(record);
        return records.size() - 1;
    }

    // Chains the records of one level and points their parent's lower-level offset at the first.
    void Link(std::optional<std::size_t> parent, const std::vector<std::size_t>& level)
    {
        for (std::size_t i = 0; i + 1 < level.size(); ++i)
        {
            writer.PatchUInt32(records[level[i]].nextField, records[level[i + 1]].offset);
        }
        if (parent && !level.empty())
        {
            writer.PatchUInt32(records[*parent].lowerField, records[level.front()].offset);
        }
    }

    DicomWriter& writer;
    std::vector<Record> records;
};

void WriteDicomDir(const std::filesystem::path& folder, const std::vector<PatientRecord>& patients)
{
    DicomWriter writer;
    WriteFileMeta(writer, kMediaDirectoryStorage, Uid(9, {1}), kExplicitLittle);
    writer.Text(0x0004, 0x1130, "CS", "ORBLANE_DEMO");
    const std::size_t firstField = writer.Size() + 8;
    writer.UInt32(0x0004, 0x1200, 0);
    const std::size_t lastField = writer.Size() + 8;
    writer.UInt32(0x0004, 0x1202, 0);
    writer.UInt16(0x0004, 0x1212, 0);
    writer.BeginSequence(0x0004, 0x1220, Length::Defined);
    DicomDirBuilder builder(writer);
    builder.Write(patients);
    writer.EndSequence();
    writer.PatchUInt32(firstField, builder.rootFirst);
    writer.PatchUInt32(lastField, builder.rootLast);
    writer.WriteTo(folder / "DICOMDIR");
}

StudyRecord& AddStudy(Context& c, PatientRecord& patient, std::string date, std::string time, std::string description)
{
    ++c.studyIndex;
    StudyRecord study;
    study.date = std::move(date);
    study.time = std::move(time);
    study.description = std::move(description);
    study.accession = Component("A", 20000 + c.studyIndex);
    study.id = std::to_string(c.studyIndex);
    study.uid = Uid(1, {c.patientIndex, c.studyIndex});
    study.frameOfReference = Uid(4, {c.patientIndex, c.studyIndex});
    patient.studies.push_back(std::move(study));
    c.study = &patient.studies.back();
    return patient.studies.back();
}

// ---- The follow-up study's reports ----------------------------------------------------------------------------

// A small PDF 1.4 of A4 pages, each with a heading and lines of Helvetica text, with one cross-reference table:
// the kind of report a reporting system encapsulates, written here so that the medium needs no file of its own.
Bytes ReportPdf(const std::vector<std::vector<std::string>>& pages, const std::string& title)
{
    std::vector<std::string> objects;
    std::string kids;
    for (std::size_t i = 0; i < pages.size(); ++i)
    {
        kids += (i == 0 ? "" : " ") + std::to_string(4 + 2 * i) + " 0 R";
    }
    objects.push_back("<< /Type /Catalog /Pages 2 0 R >>");
    objects.push_back("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages.size()) + " >>");
    objects.push_back("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    for (std::size_t i = 0; i < pages.size(); ++i)
    {
        std::string text = "BT /F1 20 Tf 72 770 Td (" + title + ") Tj ET\n0.2 0.3 0.6 RG 2 w 72 755 m 523 755 l S\n";
        int y = 725;
        for (const std::string& line : pages[i])
        {
            text += "BT /F1 12 Tf 72 " + std::to_string(y) + " Td (" + line + ") Tj ET\n";
            y -= 18;
        }
        text +=
            "BT /F1 9 Tf 72 40 Td (Page " + std::to_string(i + 1) + " of " + std::to_string(pages.size()) + ") Tj ET\n";
        objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /Font << /F1 3 0 R "
                          ">> >> /Contents " +
                          std::to_string(5 + 2 * i) + " 0 R >>");
        objects.push_back("<< /Length " + std::to_string(text.size()) + " >>\nstream\n" + text + "endstream");
    }
    std::string out = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    std::vector<std::size_t> offsets;
    for (std::size_t n = 0; n < objects.size(); ++n)
    {
        offsets.push_back(out.size());
        out += std::to_string(n + 1) + " 0 obj\n" + objects[n] + "\nendobj\n";
    }
    const std::size_t xref = out.size();
    out += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (const std::size_t offset : offsets)
    {
        char entry[24];
        std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
        out += entry;
    }
    out += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return Bytes(out.begin(), out.end());
}

struct Code
{
    std::string value;
    std::string scheme;
    std::string meaning;
};

// One content item of a structured report and what it contains.
struct ContentItem
{
    std::string relationship; // empty for the root
    std::string valueType;
    std::optional<Code> conceptName;
    std::string text;         // TEXT
    std::optional<Code> code; // CODE
    std::string number;       // NUM, with `unit`
    std::optional<Code> unit;
    std::string imageInstance; // IMAGE: a CT slice of the study
    std::vector<ContentItem> children;
};

void WriteCodeSequence(DicomWriter& w, std::uint16_t group, std::uint16_t element, const Code& code)
{
    w.BeginSequence(group, element, Length::Defined).BeginItem(Length::Defined);
    w.Text(0x0008, 0x0100, "SH", code.value);
    w.Text(0x0008, 0x0102, "SH", code.scheme);
    w.Text(0x0008, 0x0104, "LO", code.meaning);
    w.EndItem().EndSequence();
}

// An item's attributes in ascending tag order (the root's are the data set's, written by the caller's elements).
void WriteContentAttributes(DicomWriter& w, const ContentItem& item)
{
    if (!item.imageInstance.empty())
    {
        w.BeginSequence(0x0008, 0x1199, Length::Defined).BeginItem(Length::Defined);
        w.Text(0x0008, 0x1150, "UI", kCtStorage);
        w.Text(0x0008, 0x1155, "UI", item.imageInstance);
        w.EndItem().EndSequence();
    }
    if (!item.relationship.empty())
    {
        w.Text(0x0040, 0xA010, "CS", item.relationship);
    }
    w.Text(0x0040, 0xA040, "CS", item.valueType);
    if (item.conceptName)
    {
        WriteCodeSequence(w, 0x0040, 0xA043, *item.conceptName);
    }
    if (item.valueType == "CONTAINER")
    {
        w.Text(0x0040, 0xA050, "CS", "SEPARATE");
    }
    if (!item.text.empty())
    {
        w.Text(0x0040, 0xA160, "UT", item.text);
    }
    if (item.code)
    {
        WriteCodeSequence(w, 0x0040, 0xA168, *item.code);
    }
    if (!item.number.empty())
    {
        w.BeginSequence(0x0040, 0xA300, Length::Defined).BeginItem(Length::Defined);
        WriteCodeSequence(w, 0x0040, 0x08EA, *item.unit);
        w.Text(0x0040, 0xA30A, "DS", item.number);
        w.EndItem().EndSequence();
    }
}

void WriteContentSequence(DicomWriter& w, const std::vector<ContentItem>& children)
{
    if (children.empty())
    {
        return;
    }
    w.BeginSequence(0x0040, 0xA730, Length::Defined);
    for (const ContentItem& child : children)
    {
        w.BeginItem(Length::Defined);
        WriteContentAttributes(w, child);
        WriteContentSequence(w, child.children);
        w.EndItem();
    }
    w.EndSequence();
}

// The root's document attributes: the item's own and the SR Document General module's flags and author.
void DocumentRoot(Elements& e, const ContentItem& root, const std::string& completion, const std::string& verification,
                  const std::string& author, const std::string& date, const std::string& time)
{
    e.Text(0x0008, 0x0023, "DA", date);
    e.Text(0x0008, 0x0033, "TM", time);
    e.Text(0x0040, 0xA040, "CS", root.valueType);
    e.Written(0x0040, 0xA043,
              [name = *root.conceptName](DicomWriter& w) { WriteCodeSequence(w, 0x0040, 0xA043, name); });
    e.Text(0x0040, 0xA050, "CS", "SEPARATE");
    if (!author.empty())
    {
        e.Written(0x0040, 0xA078, [author](DicomWriter& w) {
            w.BeginSequence(0x0040, 0xA078, Length::Defined).BeginItem(Length::Defined);
            w.Text(0x0008, 0x0080, "LO", std::string(kInstitution));
            w.Text(0x0040, 0xA084, "CS", "PSN");
            w.Text(0x0040, 0xA123, "PN", author);
            w.EndItem().EndSequence();
        });
    }
    if (!completion.empty())
    {
        e.Text(0x0040, 0xA491, "CS", completion);
        e.Text(0x0040, 0xA493, "CS", verification);
    }
    e.Written(0x0040, 0xA730, [children = root.children](DicomWriter& w) { WriteContentSequence(w, children); });
}

// The SR Document General module's type 2 attributes left empty, and the evidence: the study's images the
// document references (Current Requested Procedure Evidence Sequence).
void DocumentEvidence(Elements& e, const StudyRecord& study, const std::vector<std::string>& instances)
{
    e.Text(0x0008, 0x0090, "PN", "");
    e.Written(0x0008, 0x1111, [](DicomWriter& w) { w.BeginSequence(0x0008, 0x1111, Length::Defined).EndSequence(); });
    e.Written(0x0040, 0xA372, [](DicomWriter& w) { w.BeginSequence(0x0040, 0xA372, Length::Defined).EndSequence(); });
    const std::string studyUid = study.uid;
    const std::string seriesUid = study.series.front().uid;
    e.Written(0x0040, 0xA375, [studyUid, seriesUid, instances](DicomWriter& w) {
        w.BeginSequence(0x0040, 0xA375, Length::Defined).BeginItem(Length::Defined);
        w.BeginSequence(0x0008, 0x1115, Length::Defined).BeginItem(Length::Defined);
        w.BeginSequence(0x0008, 0x1199, Length::Defined);
        for (const std::string& instance : instances)
        {
            w.BeginItem(Length::Defined);
            w.Text(0x0008, 0x1150, "UI", kCtStorage);
            w.Text(0x0008, 0x1155, "UI", instance);
            w.EndItem();
        }
        w.EndSequence();
        w.Text(0x0020, 0x000E, "UI", seriesUid);
        w.EndItem().EndSequence();
        w.Text(0x0020, 0x000D, "UI", studyUid);
        w.EndItem().EndSequence();
    });
}

// The record keys of a structured document after its Instance Number: its concept name and, for a report, its
// flags.
std::function<void(DicomWriter&)> DocumentRecordKeys(const Code& name, const std::string& completion,
                                                     const std::string& verification)
{
    return [=](DicomWriter& w) {
        WriteCodeSequence(w, 0x0040, 0xA043, name);
        if (!completion.empty())
        {
            w.Text(0x0040, 0xA491, "CS", completion);
            w.Text(0x0040, 0xA493, "CS", verification);
        }
    };
}

// What a reading radiologist leaves on a follow-up disc: the signed report as a PDF, the same findings as a
// structured report with the measured nodule, and the two slices that show it marked as key images. Each in a
// series of its own, as archives send them.
void WriteFollowUpReports(Context& c, StudyRecord& study)
{
    const std::vector<ImageRecord>& slices = study.series.front().images;
    const std::string noduleSlice = slices.at(19).sopInstance;
    const std::string keySlices[] = {slices.at(17).sopInstance, slices.at(21).sopInstance};
    const std::string date = "20250916";
    const std::string time = "163000";
    const std::string author = "Reader^Rita^^Dr.";

    AddSeries(c, study, "DOC", "Radiology report (PDF)");
    const std::string title = "CT Chest Follow-up Report";
    const Bytes pdf = ReportPdf(
        {{"Patient: Mueller, Anna    ID: ORB-10021    Born: 1958-04-12",
          "Examination: CT chest follow-up, 2025-09-16, lossless 5.0 mm",
          "Comparison: CT chest with contrast, 2024-03-11", "",
          "Findings:", "A solid nodule in the right lower lobe measures 8.5 mm (previously 7.9 mm).",
          "No new nodules. No pleural effusion. Heart size normal."},
         {"Impression:", "Slowly growing right lower lobe nodule.", "Follow-up CT in 6 months is recommended.", "",
          "Reported by Dr. Rita Reader, Orblane Demo Hospital (synthetic data)."}},
        title);
    WriteInstance(c, kEncapsulatedPdfStorage, kExplicitLittle, [&](Elements& e) {
        e.Text(0x0008, 0x0023, "DA", date);
        e.Text(0x0008, 0x0033, "TM", time);
        e.Text(0x0008, 0x0064, "CS", "WSD");
        e.Text(0x0028, 0x0301, "CS", "YES");
        e.Text(0x0042, 0x0010, "ST", title);
        e.Value(0x0042, 0x0011, "OB", EvenLength(pdf));
        e.Text(0x0042, 0x0012, "LO", "application/pdf");
        e.UInt32(0x0042, 0x0015, static_cast<std::uint32_t>(pdf.size()));
    });
    ImageRecord& pdfRecord = c.series->images.back();
    pdfRecord.recordType = "ENCAP DOC";
    pdfRecord.contentDate = date;
    pdfRecord.contentTime = time;
    pdfRecord.documentKeys = [title](DicomWriter& w) {
        w.Text(0x0042, 0x0010, "ST", title);
        w.Text(0x0042, 0x0012, "LO", "application/pdf");
    };

    AddSeries(c, study, "SR", "Structured report");
    const Code reportConcept{"18748-4", "LN", "Diagnostic Imaging Report"};
    const Code mm{"mm", "UCUM", "millimeter"};
    ContentItem report{"", "CONTAINER", reportConcept, "", {}, "", {}, "", {}};
    ContentItem findings{"CONTAINS", "CONTAINER", Code{"121070", "DCM", "Findings"}, "", {}, "", {}, "", {}};
    ContentItem nodule{"CONTAINS",
                       "CODE",
                       Code{"121071", "DCM", "Finding"},
                       "",
                       Code{"RID50149", "RADLEX", "Pulmonary nodule"},
                       "",
                       {},
                       "",
                       {}};
    nodule.children.push_back({"HAS PROPERTIES",
                               "CODE",
                               Code{"363698007", "SCT", "Finding Site"},
                               "",
                               Code{"41224006", "SCT", "Lower lobe of right lung"},
                               "",
                               {},
                               "",
                               {}});
    ContentItem size{"HAS PROPERTIES", "NUM", Code{"246120007", "SCT", "Nodule size"}, "", {}, "8.5", mm, "", {}};
    size.children.push_back({"INFERRED FROM",
                             "IMAGE",
                             Code{"121233", "DCM", "Source image for segmentation"},
                             "",
                             {},
                             "",
                             {},
                             noduleSlice,
                             {}});
    nodule.children.push_back(std::move(size));
    nodule.children.push_back(
        {"HAS PROPERTIES", "NUM", Code{"121206", "DCM", "Previous size"}, "", {}, "7.9", mm, "", {}});
    findings.children.push_back(std::move(nodule));
    findings.children.push_back({"CONTAINS",
                                 "TEXT",
                                 Code{"121071", "DCM", "Finding"},
                                 "No new nodules. No pleural effusion. Heart size normal.",
                                 {},
                                 "",
                                 {},
                                 "",
                                 {}});
    ContentItem impression{"CONTAINS", "CONTAINER", Code{"121072", "DCM", "Impressions"}, "", {}, "", {}, "", {}};
    impression.children.push_back({"CONTAINS",
                                   "TEXT",
                                   Code{"121073", "DCM", "Impression"},
                                   "Slowly growing right lower lobe nodule; follow-up CT in 6 months.",
                                   {},
                                   "",
                                   {},
                                   "",
                                   {}});
    report.children.push_back(std::move(findings));
    report.children.push_back(std::move(impression));
    WriteInstance(c, kComprehensiveSrStorage, kExplicitLittle, [&](Elements& e) {
        DocumentRoot(e, report, "COMPLETE", "UNVERIFIED", author, date, time);
        DocumentEvidence(e, study, {noduleSlice});
    });
    ImageRecord& srRecord = c.series->images.back();
    srRecord.recordType = "SR DOCUMENT";
    srRecord.contentDate = date;
    srRecord.contentTime = time;
    srRecord.documentKeys = DocumentRecordKeys(reportConcept, "COMPLETE", "UNVERIFIED");

    AddSeries(c, study, "KO", "Key images");
    const Code ofInterest{"113000", "DCM", "Of Interest"};
    ContentItem selection{"", "CONTAINER", ofInterest, "", {}, "", {}, "", {}};
    selection.children.push_back({"CONTAINS",
                                  "TEXT",
                                  Code{"113012", "DCM", "Key Object Description"},
                                  "Right lower lobe nodule, above and below its largest extent.",
                                  {},
                                  "",
                                  {},
                                  "",
                                  {}});
    for (const std::string& slice : keySlices)
    {
        selection.children.push_back({"CONTAINS", "IMAGE", {}, "", {}, "", {}, slice, {}});
    }
    WriteInstance(c, kKeyObjectSelectionStorage, kExplicitLittle, [&](Elements& e) {
        DocumentRoot(e, selection, "", "", "", date, time);
        DocumentEvidence(e, study, {keySlices[0], keySlices[1]});
    });
    ImageRecord& kosRecord = c.series->images.back();
    kosRecord.recordType = "KEY OBJECT DOC";
    kosRecord.contentDate = date;
    kosRecord.contentTime = time;
    kosRecord.documentKeys = DocumentRecordKeys(ofInterest, "", "");
}
} // namespace

int WriteDemoMedium(const std::filesystem::path& folder, std::string& failure)
{
    try
    {
        std::filesystem::create_directories(folder);
        std::filesystem::remove_all(folder / "DICOM");
        std::filesystem::remove(folder / "DICOMDIR");

        // Every patient is fictitious. Studies are reserved up front so that the pointers the context keeps stay
        // valid while series are added.
        std::vector<PatientRecord> patients(4);
        patients[0] = {"ISO_IR 100", "M\xFCller^Anna", "ORB-10021", "19580412", "F", {}};
        patients[1] = {"", "Phantom^Bernard", "ORB-10022", "19710723", "M", {}};
        // Japanese: alphabetic, ideographic (kanji) and phonetic (hiragana) groups, JIS X 0208 after ESC $ B.
        patients[2] = {"\\ISO 2022 IR 87",
                       "Sato^Hanako=\x1B$B:4F#\x1B(B^\x1B$B2V;R\x1B(B=\x1B$B$5$H$&\x1B(B^\x1B$B$O$J$3\x1B(B",
                       "ORB-20031",
                       "19851120",
                       "F",
                       {}};
        // Korean: ideographic (hanja) and phonetic (hangul) groups, KS X 1001 in G1 after ESC $ ) C.
        patients[3] = {"\\ISO 2022 IR 149",
                       "Kim^Minji=\x1B$)C\xD1\xD1^\xDA\xC2\xF2\xAA=\x1B$)C\xB1\xE8^\xB9\xCE\xC1\xF6",
                       "ORB-30047",
                       "19900305",
                       "F",
                       {}};
        for (PatientRecord& p : patients)
        {
            p.studies.reserve(4);
        }

        Context c;
        c.folder = folder;
        for (PatientRecord& p : patients)
        {
            ++c.patientIndex;
            c.patient = &p;
            switch (c.patientIndex)
            {
            case 1: {
                StudyRecord& first = AddStudy(c, p, "20240311", "093015", "CT CHEST WITH CONTRAST");
                first.series.reserve(2);
                AddSeries(c, first, "CT", "Chest 5.0 mm soft tissue");
                WriteCtSeries(c, 48, false, false);
                AddSeries(c, first, "CT", "Localizer");
                WriteLocalizer(c, 48);
                StudyRecord& second = AddStudy(c, p, "20250916", "141200.250", "CT CHEST FOLLOW-UP");
                second.series.reserve(4);
                AddSeries(c, second, "CT", "Chest 5.0 mm lossless");
                WriteCtSeries(c, 40, true, true);
                WriteFollowUpReports(c, second);
                break;
            }
            case 2: {
                StudyRecord& chest = AddStudy(c, p, "20231105", "081045", "CHEST PA");
                chest.series.reserve(1);
                AddSeries(c, chest, "CR", "Chest PA");
                WriteRadiograph(c);
                StudyRecord& head = AddStudy(c, p, "20220614", "163000", "MR HEAD");
                head.series.reserve(1);
                AddSeries(c, head, "MR", "Axial T1");
                WriteMrSeries(c, 24, MrWeighting::T1, true);
                break;
            }
            case 3: {
                StudyRecord& skin = AddStudy(c, p, "20240722", "110500", "DERMATOLOGY PHOTO");
                skin.series.reserve(1);
                AddSeries(c, skin, "XC", "Lesion close-up");
                WritePhotograph(c);
                break;
            }
            default: {
                StudyRecord& head = AddStudy(c, p, "20250203", "094500", "MR BRAIN");
                head.icons = true;
                head.series.reserve(2);
                AddSeries(c, head, "MR", "Axial T2");
                WriteMrSeries(c, 20, MrWeighting::T2);
                AddSeries(c, head, "MR", "Axial T1");
                WriteMrSeries(c, 20, MrWeighting::T1);
                break;
            }
            }
        }
        WriteDicomDir(folder, patients);
        return 0;
    }
    catch (const std::exception& e)
    {
        failure = e.what();
        return 1;
    }
}

} // namespace orblane::demo

#include "imaging/LosslessJpeg.h"

#include "imaging/LosslessScan.h"

namespace orblane::lossless {
namespace {

constexpr std::uint16_t kSoi = 0xFFD8;
constexpr std::uint16_t kEoi = 0xFFD9;
constexpr std::uint16_t kSof3 = 0xFFC3;
constexpr std::uint16_t kDht = 0xFFC4;
constexpr std::uint16_t kSos = 0xFFDA;
constexpr std::uint16_t kDri = 0xFFDD;
constexpr std::uint16_t kCom = 0xFFFE;

bool Has(const LosslessState& state, std::size_t count)
{
    return count <= static_cast<std::size_t>(state.sourceEnd - state.cursor);
}

std::uint16_t Be16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

// Reads the next marker, stepping over fill bytes (a pair FF FF advances by one byte).
int ReadMarker(LosslessState& state, std::uint16_t* marker)
{
    while (Has(state, 2) && state.cursor[0] == 0xFF && state.cursor[1] == 0xFF)
    {
        ++state.cursor;
    }
    if (!Has(state, 2))
    {
        return kSourceExhausted;
    }
    *marker = Be16(state.cursor);
    state.cursor += 2;
    return kOk;
}

// Reads a segment's 16-bit length field and checks that the whole segment lies within the source.
int ReadLength(LosslessState& state, std::uint16_t* length)
{
    if (!Has(state, 2))
    {
        return kSourceExhausted;
    }
    *length = Be16(state.cursor);
    return kOk;
}

constexpr std::array<std::uint16_t, 17> kDefaultBits{0, 0, 1, 5, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0};

// Steps 2-4 of the stream structure: up to and including the frame header.
int ReadUpToFrame(LosslessState& state)
{
    std::uint16_t marker = 0;
    for (;;)
    {
        if (int rc = ReadMarker(state, &marker); rc != kOk)
        {
            return rc;
        }
        if (marker == kSof3 || marker == kEoi)
        {
            return kFrameBeforeSoi;
        }
        if (marker == kSoi)
        {
            break;
        }
        if (int rc = ReadMarkerSegment(&state, marker); rc != kOk)
        {
            return rc;
        }
    }
    for (;;)
    {
        if (int rc = ReadMarker(state, &marker); rc != kOk)
        {
            return rc;
        }
        if (marker == kSof3)
        {
            break;
        }
        if (marker == kEoi)
        {
            return kEoiBeforeFrame;
        }
        if (int rc = ReadMarkerSegment(&state, marker); rc != kOk)
        {
            return rc;
        }
    }
    return ReadFrame(&state);
}

// The tables of the scan's components: each its own (T.81 B.2.3), the built-in one where the stream defines none.
int ResolveScanTables(LosslessState& state)
{
    const bool anyDefined = state.definedTables != 0;
    for (std::size_t k = 0; k < state.scan.componentCount; ++k)
    {
        const std::uint8_t slot = state.scan.tableOf[k];
        if ((state.definedTables & (1u << slot)) != 0)
        {
            continue;
        }
        if (anyDefined)
        {
            return kSosUndefinedTable;
        }
        state.tableIndex = slot;
        if (int rc = InstallDefaultTable(&state); rc != kOk)
        {
            return rc;
        }
    }
    return kOk;
}

// A frame of several components: its scans one after another (tables and restart intervals may change between
// them), until every component has been coded and EOI ends the stream.
int DecodeComponentScans(LosslessState& state)
{
    const auto all = static_cast<std::uint8_t>((1u << state.frame.componentCount) - 1);
    for (;;)
    {
        if (int rc = ResolveScanTables(state); rc != kOk)
        {
            return rc;
        }
        if (int rc = DecodeComponentScan(state); rc != kOk)
        {
            return rc;
        }
        std::uint16_t marker = 0;
        for (;;)
        {
            // Entropy-coded data ends at a marker; anything else after it is not a stream this decoder knows.
            if (Has(state, 1) && state.cursor[0] != 0xFF)
            {
                return kNoEoiAfterScan;
            }
            if (int rc = ReadMarker(state, &marker); rc != kOk)
            {
                return rc;
            }
            if (marker == kSos || marker == kEoi)
            {
                break;
            }
            if (int rc = ReadMarkerSegment(&state, marker); rc != kOk)
            {
                return rc;
            }
        }
        if (marker == kEoi)
        {
            return state.codedComponents == all ? kOk : kComponentsMissing;
        }
        if (int rc = ReadScan(&state); rc != kOk)
        {
            return rc;
        }
    }
}

int Decode(ByteView source, std::uint8_t* destination, std::int32_t capacity, std::uint8_t maxComponents,
           std::atomic<std::size_t>* finalBytes, LosslessImage& image)
{
    LosslessState state;
    state.cursor = source.data();
    state.sourceEnd = source.data() + source.size();
    state.destination = destination;
    state.capacity = capacity;
    state.finalBytes = finalBytes;
    state.maxComponents = maxComponents;
    const int rc = DecodeStream(&state);
    if (rc != kOk)
    {
        return rc;
    }
    image.lines = state.decodedLines;
    image.samplesPerLine = state.frame.samplesPerLine;
    image.components = state.frame.componentCount;
    image.containerBits = state.containerBits;
    image.precision = state.precision;
    image.highBit = state.highBit;
    return kOk;
}

} // namespace

int ReadMarkerSegment(LosslessState* state, std::uint16_t marker) noexcept
{
    if (state == nullptr)
    {
        return kNoStateMarker;
    }
    if (marker == kDht)
    {
        return ReadHuffmanTable(state);
    }
    if (marker == kDri)
    {
        return ReadRestartInterval(state);
    }
    if ((marker >= 0xFFE0 && marker <= 0xFFEF) || marker == kCom)
    {
        return SkipSegment(state);
    }
    return kUnsupportedMarker;
}

int SkipSegment(LosslessState* state) noexcept
{
    if (state == nullptr)
    {
        return kNoStateSkip;
    }
    std::uint16_t length = 0;
    if (int rc = ReadLength(*state, &length); rc != kOk)
    {
        return rc;
    }
    if (!Has(*state, length))
    {
        return kSourceExhausted;
    }
    state->cursor += length;
    return kOk;
}

int ReadHuffmanTable(LosslessState* state) noexcept
{
    if (state == nullptr)
    {
        return kNoStateDht;
    }
    std::uint16_t length = 0;
    if (int rc = ReadLength(*state, &length); rc != kOk)
    {
        return rc;
    }
    if (!Has(*state, 3))
    {
        return kSourceExhausted;
    }
    const std::uint8_t* p = state->cursor + 2;
    const std::uint8_t classIndex = *p++;
    if (classIndex > 15)
    {
        return kDhtClass;
    }
    if (classIndex > 3)
    {
        return kDhtIndex;
    }
    if (!Has(*state, 3 + 16))
    {
        return kSourceExhausted;
    }
    std::array<std::uint16_t, 17> bits{};
    std::uint32_t codeCount = 0;
    for (int l = 1; l <= 16; ++l)
    {
        bits[l] = *p++;
        codeCount += bits[l];
    }
    if (length != 19 + codeCount)
    {
        return kDhtLength;
    }
    // BITS can declare up to 16 * 255 codes, but HUFFVAL holds 256 at most.
    if (codeCount > 256)
    {
        return kDhtTooManyCodes;
    }
    if (!Has(*state, length))
    {
        return kSourceExhausted;
    }
    HuffmanTable& table = state->tables[classIndex];
    table.bits = bits;
    table.codeCount = static_cast<std::uint16_t>(codeCount);
    table.values.fill(0);
    for (std::uint32_t i = 0; i < codeCount; ++i)
    {
        table.values[i] = *p++;
    }
    state->tableClass = 0;
    state->tableIndex = classIndex;
    state->lastDhtLength = length;
    state->definedTables = static_cast<std::uint8_t>(state->definedTables | (1u << classIndex));
    state->cursor += length;
    return DeriveDecodeTables(state, classIndex);
}

int ReadFrame(LosslessState* state) noexcept
{
    if (state == nullptr)
    {
        return kNoStateSof;
    }
    FrameHeader frame;
    if (int rc = ReadLength(*state, &frame.length); rc != kOk)
    {
        return rc;
    }
    if (!Has(*state, 8))
    {
        return kSourceExhausted;
    }
    const std::uint8_t* p = state->cursor + 2;
    frame.precision = p[0];
    frame.lines = Be16(p + 1);
    frame.samplesPerLine = Be16(p + 3);
    frame.componentCount = p[5];
    // The length is checked against the component count it must describe, so that a real three-component frame
    // is reported as such rather than as a bad length.
    if (frame.length != 8 + 3 * frame.componentCount)
    {
        return kSofLength;
    }
    if (frame.precision < 2 || frame.precision > 16)
    {
        return kSofPrecision;
    }
    if (frame.samplesPerLine == 0)
    {
        return kSofWidth;
    }
    if (frame.componentCount == 0 || frame.componentCount > state->maxComponents)
    {
        return kSofComponents;
    }
    if (!Has(*state, frame.length))
    {
        return kSourceExhausted;
    }
    frame.componentId = p[6];
    frame.horizontal = static_cast<std::uint8_t>(p[7] >> 4);
    frame.vertical = static_cast<std::uint8_t>(p[7] & 0x0F);
    frame.quantTable = p[8];
    // Subsampled components would need their own line widths and an upsampled output; no DICOM lossless encoder
    // writes them, so they are refused rather than decoded half-way.
    for (std::size_t c = 0; c < frame.componentCount; ++c)
    {
        const std::uint8_t* component = p + 6 + 3 * c;
        frame.componentIds[c] = component[0];
        if ((component[1] >> 4) != 1)
        {
            return kSofHorizontal;
        }
        if ((component[1] & 0x0F) != 1)
        {
            return kSofVertical;
        }
    }
    state->frame = frame;
    state->cursor += frame.length;
    return kOk;
}

int ReadLineCount(LosslessState* state) noexcept
{
    if (state == nullptr)
    {
        return kNoStateDnl;
    }
    std::uint16_t length = 0;
    if (int rc = ReadLength(*state, &length); rc != kOk)
    {
        return rc;
    }
    if (length != 4)
    {
        return kDnlLength;
    }
    if (!Has(*state, 4))
    {
        return kSourceExhausted;
    }
    const std::uint16_t lines = Be16(state->cursor + 2);
    if (lines == 0)
    {
        return kDnlZeroLines;
    }
    state->dnlLines = lines;
    state->dnlSeen = true;
    state->cursor += 4;
    return kOk;
}

int ReadRestartInterval(LosslessState* state) noexcept
{
    if (state == nullptr)
    {
        return kNoStateDri;
    }
    std::uint16_t length = 0;
    if (int rc = ReadLength(*state, &length); rc != kOk)
    {
        return rc;
    }
    if (length != 4)
    {
        return kDriLength;
    }
    if (!Has(*state, 4))
    {
        return kSourceExhausted;
    }
    state->restartInterval = Be16(state->cursor + 2);
    state->cursor += 4;
    return kOk;
}

int ReadScan(LosslessState* state) noexcept
{
    if (state == nullptr)
    {
        return kNoStateSos;
    }
    ScanHeader scan;
    if (int rc = ReadLength(*state, &scan.length); rc != kOk)
    {
        return rc;
    }
    if (!Has(*state, 3))
    {
        return kSourceExhausted;
    }
    const std::uint8_t* p = state->cursor + 2;
    scan.componentCount = p[0];
    // As for the frame: the length must fit the component count before the count itself is judged.
    if (scan.length != 6 + 2 * scan.componentCount)
    {
        return kSosLength;
    }
    const std::uint8_t frameComponents = state->frame.componentCount;
    if (frameComponents <= 1 ? scan.componentCount != 1
                             : scan.componentCount == 0 || scan.componentCount > frameComponents)
    {
        return kSosComponents;
    }
    if (!Has(*state, scan.length))
    {
        return kSourceExhausted;
    }
    scan.componentSelector = p[1];
    scan.dcTable = static_cast<std::uint8_t>(p[2] >> 4);
    scan.acTable = static_cast<std::uint8_t>(p[2] & 0x0F);
    const std::uint8_t* tail = p + 1 + 2 * scan.componentCount;
    scan.predictor = tail[0];
    scan.end = tail[1];
    scan.approxHigh = static_cast<std::uint8_t>(tail[2] >> 4);
    scan.pointTransform = static_cast<std::uint8_t>(tail[2] & 0x0F);
    std::uint8_t coded = state->codedComponents;
    for (std::size_t k = 0; k < scan.componentCount; ++k)
    {
        const std::uint8_t selector = p[1 + 2 * k];
        scan.tableOf[k] = static_cast<std::uint8_t>(p[2 + 2 * k] >> 4);
        if (scan.tableOf[k] > 3)
        {
            return kSosTableSelector;
        }
        // A one-component frame takes its scan whatever the selector says, as it always has; with several, the
        // selector is what places the samples.
        std::size_t index = 0;
        if (frameComponents > 1)
        {
            while (index < frameComponents && state->frame.componentIds[index] != selector)
            {
                ++index;
            }
            if (index == frameComponents || (coded & (1u << index)) != 0)
            {
                return kSosSelector;
            }
        }
        scan.frameIndex[k] = static_cast<std::uint8_t>(index);
        coded = static_cast<std::uint8_t>(coded | (1u << index));
    }
    // Selection value 0 belongs to the differential frames of the hierarchical process, which this is not.
    if (scan.predictor < 1 || scan.predictor > 7)
    {
        return kSosPredictor;
    }
    // The first prediction is 2^(P-Pt-1), so at least one bit must be left after the transform.
    if (scan.pointTransform >= state->frame.precision)
    {
        return kSosPointTransform;
    }
    state->scan = scan;
    state->codedComponents = coded;
    state->precision = state->frame.precision;
    state->containerBits = state->precision < 9 ? 8 : 16;
    state->highBit = static_cast<std::uint16_t>(state->precision - 1);
    state->cursor += scan.length;
    return kOk;
}

int InstallDefaultTable(LosslessState* state) noexcept
{
    if (state == nullptr)
    {
        return kNoStateDefaultTable;
    }
    HuffmanTable& table = state->tables[state->tableIndex];
    table.bits = kDefaultBits;
    table.values.fill(0);
    for (std::uint8_t v = 0; v <= 16; ++v)
    {
        table.values[v] = v;
    }
    table.codeCount = 17;
    state->lastDhtLength = 36;
    return DeriveDecodeTables(state, state->tableIndex);
}

// Canonical codes and the MINCODE/MAXCODE/VALPTR tables of T.81 C.2 and F.2.2.3.
int DeriveDecodeTables(LosslessState* state, int slot) noexcept
{
    if (state == nullptr || slot < 0 || slot > 3)
    {
        return kNoStateDerive;
    }
    HuffmanTable& table = state->tables[static_cast<std::size_t>(slot)];
    std::int32_t code = 0;
    std::int32_t index = 0;
    for (int l = 1; l <= 16; ++l)
    {
        if (table.bits[l] == 0)
        {
            table.maxCode[l] = -1;
            table.minCode[l] = 0;
            table.valPtr[l] = 0;
        }
        else
        {
            table.valPtr[l] = index;
            table.minCode[l] = code;
            code += table.bits[l];
            index += table.bits[l];
            table.maxCode[l] = code - 1;
        }
        code <<= 1;
    }
    table.maxCode[17] = -1;
    return kOk;
}

int DecodeStream(LosslessState* state) noexcept
{
    if (state == nullptr || state->cursor == nullptr)
    {
        return kNoState;
    }
    if (state->destination == nullptr)
    {
        return kNoDestination;
    }
    if (int rc = ReadUpToFrame(*state); rc != kOk)
    {
        return rc;
    }
    std::uint16_t marker = 0;
    for (;;)
    {
        if (int rc = ReadMarker(*state, &marker); rc != kOk)
        {
            return rc;
        }
        if (marker == kSos)
        {
            break;
        }
        if (marker == kEoi)
        {
            return kEoiBeforeScan;
        }
        if (int rc = ReadMarkerSegment(state, marker); rc != kOk)
        {
            return rc;
        }
    }
    if (int rc = ReadScan(state); rc != kOk)
    {
        return rc;
    }
    if (state->frame.componentCount > 1)
    {
        return DecodeComponentScans(*state);
    }
    if (state->lastDhtLength == 0)
    {
        if (int rc = InstallDefaultTable(state); rc != kOk)
        {
            return rc;
        }
    }
    return DecodeScan(*state);
}

int DecodeLossless(ByteView source, std::uint8_t* destination, std::int32_t capacity, std::uint16_t* lines,
                   std::uint16_t* samplesPerLine, std::uint16_t* containerBits, std::uint16_t* precision,
                   std::uint16_t* highBit, std::atomic<std::size_t>* finalBytes) noexcept
{
    if (source.data() == nullptr || destination == nullptr || lines == nullptr || samplesPerLine == nullptr ||
        containerBits == nullptr || precision == nullptr || highBit == nullptr)
    {
        return kNullArgument;
    }
    try
    {
        LosslessImage image;
        const int rc = Decode(source, destination, capacity, 1, finalBytes, image);
        if (rc != kOk)
        {
            return rc;
        }
        *lines = image.lines;
        *samplesPerLine = image.samplesPerLine;
        *containerBits = image.containerBits;
        *precision = image.precision;
        *highBit = image.highBit;
        return kOk;
    }
    catch (...)
    {
        return kUnexpectedFault;
    }
}

int DecodeLosslessImage(ByteView source, std::uint8_t* destination, std::int32_t capacity, LosslessImage* image,
                        std::atomic<std::size_t>* finalBytes) noexcept
{
    if (source.data() == nullptr || destination == nullptr || image == nullptr)
    {
        return kNullArgument;
    }
    try
    {
        LosslessImage decoded;
        const int rc = Decode(source, destination, capacity, kMaxComponents, finalBytes, decoded);
        if (rc == kOk)
        {
            *image = decoded;
        }
        return rc;
    }
    catch (...)
    {
        return kUnexpectedFault;
    }
}

int ReadLosslessFrameHeader(ByteView source, FrameHeader* frame) noexcept
{
    if (source.data() == nullptr || frame == nullptr)
    {
        return kNullArgument;
    }
    LosslessState state;
    state.cursor = source.data();
    state.sourceEnd = source.data() + source.size();
    state.maxComponents = kMaxComponents;
    if (int rc = ReadUpToFrame(state); rc != kOk)
    {
        return rc;
    }
    *frame = state.frame;
    return kOk;
}

} // namespace orblane::lossless

#pragma once

// JPEG lossless (ITU-T T.81 Annex H, process 14) as DICOM's "1.2.840.10008.1.2.4.57" and "1.2.840.10008.1.2.4.70"
// use it: one to four components (every sampling factor 1), in one interleaved scan or several, any selection value 1
// to 7, any point transform, precisions 2 to 16, optional restart intervals and a DNL segment. Plain functions over
// one state record; every outcome is a numeric code.

#include "platform/Bytes.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace orblane {

namespace lossless {

// Return codes. 0 is success; everything else means the destination holds nothing usable.
enum Code : int
{
    kOk = 0,
    kNullArgument = 51,        // a required argument of DecodeLossless is null
    kNoState = 57,             // no state record or no source position
    kNoDestination = 58,       // no destination
    kNoStateMarker = 60,       // internal step called without state: marker dispatch
    kNoStateSkip = 61,         //   segment skip
    kNoStateDht = 62,          //   DHT
    kNoStateSof = 63,          //   SOF3
    kNoStateDnl = 64,          //   DNL
    kNoStateDri = 65,          //   DRI
    kNoStateSos = 66,          //   SOS
    kNoStateDefaultTable = 70, //   built-in table
    kNoStateDerive = 71,       //   table derivation
    kEoiInData = 101,          // EOI inside the entropy-coded data
    kEoiBeforeFrame = 102,     // EOI before the frame header
    kFrameBeforeSoi = 103,     // SOF3 or EOI before SOI
    kEoiBeforeScan = 104,      // EOI before the scan header
    kNoUnit = 105,             // neither a restart interval nor a line width
    kEoiBeforeRestart = 106,   // EOI met while looking for the expected restart marker
    kNoEoiAfterScan = 107,     // something other than EOI after the scan
    kNoLineCount = 108,        // number of lines never given
    kUnsupportedMarker = 109,
    kDhtClass = 110,  // DHT class/index byte above 15 (not a DC-class table)
    kDhtIndex = 111,  // DHT index above 3
    kDhtLength = 112, // DHT length is not 19 + number of codes
    kSofLength = 113,
    kSofPrecision = 114,  // P outside 2..16
    kSofWidth = 115,      // X = 0
    kSofComponents = 116, // Nf outside 1..4 (DecodeLossless: Nf != 1)
    kSofHorizontal = 117, // H != 1 for some component (subsampled components are not decoded)
    kSofVertical = 118,   // V != 1 for some component
    kDnlLength = 119,
    kDnlZeroLines = 120,
    kDriLength = 121,
    kSosLength = 123,
    kSosComponents = 124,     // Ns of 0, or above Nf (one-component frame: Ns != 1)
    kSosTableSelector = 125,  // Td above 3
    kSosPredictor = 126,      // Ss outside 1..7
    kSosPointTransform = 127, // Al not below P
    kUnexpectedRestart = 128, // restart marker in the data without a restart interval
    // Codes of this decoder's own, for input that the process above leaves undefined.
    kCodeTooLong = 130,       // no Huffman code matched within 16 bits (corrupt data or table)
    kSourceExhausted = 131,   // the stream ends before the process does; nothing past its end is read
    kDhtTooManyCodes = 132,   // a DHT declares more than 256 codes, more than a table can hold
    kOutputAllocation = 133,  // LosslessDecoder could not allocate its destination (or a scan its tables)
    kSosSelector = 134,       // a scan selects a component the frame lacks, or one a scan already coded
    kSosUndefinedTable = 135, // a scan of several components selects a table no DHT defined
    kComponentsMissing = 136, // EOI before every component of the frame had its scan
    kCapacityExceeded = 153,  // the samples would not fit the destination's capacity
    kUnexpectedFault = -1099,
};

// Bits of lookahead for the fast Huffman path: one table look-up resolves a code and, when they fit, its extra bits.
inline constexpr int kLookaheadBits = 12;

// Components of a frame this decoder reads (RGB, YCbCr, and the retired four-component models).
inline constexpr int kMaxComponents = 4;

struct HuffmanTable
{
    std::array<std::uint16_t, 17> bits{};   // BITS[1..16]: number of codes of each length
    std::array<std::uint8_t, 256> values{}; // HUFFVAL
    std::array<std::int32_t, 17> minCode{}; // MINCODE[1..16]
    std::array<std::int32_t, 18> maxCode{}; // MAXCODE[1..17], -1 where no code has that length
    std::array<std::int32_t, 17> valPtr{};  // VALPTR[1..16]
    std::uint16_t codeCount = 0;
};

struct FrameHeader
{
    std::uint16_t length = 0;
    std::uint16_t precision = 0;                             // P
    std::uint16_t lines = 0;                                 // Y
    std::uint16_t samplesPerLine = 0;                        // X
    std::uint8_t componentCount = 0;                         // Nf
    std::uint8_t componentId = 0;                            // of the first component, as the next three fields
    std::uint8_t horizontal = 0;                             // H
    std::uint8_t vertical = 0;                               // V
    std::uint8_t quantTable = 0;                             // Tq
    std::array<std::uint8_t, kMaxComponents> componentIds{}; // C of each component, in frame order
};

struct ScanHeader
{
    std::uint16_t length = 0;
    std::uint8_t componentCount = 0; // Ns
    std::uint8_t componentSelector = 0;
    std::uint8_t dcTable = 0;        // Td
    std::uint8_t acTable = 0;        // Ta
    std::uint8_t predictor = 0;      // Ss
    std::uint8_t end = 0;            // Se
    std::uint8_t approxHigh = 0;     // Ah
    std::uint8_t pointTransform = 0; // Al
    // For each of the scan's components, in scan order: its index in the frame and its table (Td).
    std::array<std::uint8_t, kMaxComponents> frameIndex{};
    std::array<std::uint8_t, kMaxComponents> tableOf{};
};

// Everything one decode needs; zeroed before every decode.
struct LosslessState
{
    const std::uint8_t* cursor = nullptr;
    const std::uint8_t* sourceEnd = nullptr;
    std::uint8_t* destination = nullptr;
    std::int32_t capacity = 0;
    std::uint16_t containerBits = 0;
    std::uint16_t precision = 0;
    std::uint16_t highBit = 0;
    FrameHeader frame;
    std::uint16_t restartInterval = 0;
    std::uint16_t dnlLines = 0;
    bool dnlSeen = false;
    std::uint16_t decodedLines = 0; // Y after any DNL, set by a successful scan
    ScanHeader scan;
    std::uint8_t tableClass = 0;
    std::uint8_t tableIndex = 0;
    std::uint16_t lastDhtLength = 0;
    std::uint8_t definedTables = 0;   // bit i: a DHT defined table i
    std::uint8_t maxComponents = 1;   // what the frame header may declare: 1, or kMaxComponents
    std::uint8_t codedComponents = 0; // bit i: a scan has coded frame component i
    std::array<HuffmanTable, 4> tables{};
    // Fast decode table for the scan's table, built once the container width is known.
    std::array<std::uint32_t, std::size_t{1} << kLookaheadBits> fast{};
    // Where the scan publishes how many leading bytes of the destination are final (none when null).
    std::atomic<std::size_t>* finalBytes = nullptr;
};

// Decodes one JPEG lossless stream of one component into destination (one byte per sample when P < 9, otherwise one
// little-endian 16-bit word), row by row, top row first, each sample scaled back by the point transform. On 0 the
// five outputs are set; on any other code they are untouched. With `finalBytes`, the scan stores there, as it goes,
// how many leading bytes of the destination hold their final samples (only a scan without point transform, whose
// samples are never rewritten once decoded, publishes anything). A stream of several components is refused
// (kSofComponents): the outputs describe one plane, and callers size and write exactly that.
int DecodeLossless(ByteView source, std::uint8_t* destination, std::int32_t capacity, std::uint16_t* lines,
                   std::uint16_t* samplesPerLine, std::uint16_t* containerBits, std::uint16_t* precision,
                   std::uint16_t* highBit, std::atomic<std::size_t>* finalBytes = nullptr) noexcept;

struct LosslessImage
{
    std::uint16_t lines = 0;
    std::uint16_t samplesPerLine = 0;
    std::uint16_t components = 0;
    std::uint16_t containerBits = 0;
    std::uint16_t precision = 0;
    std::uint16_t highBit = 0;
};

// As DecodeLossless, for a stream of one to four components: the samples of a pixel are interleaved in frame order
// (lines * samplesPerLine * components of them), whether the stream codes them in one scan or in several. A
// one-component stream is decoded exactly as DecodeLossless decodes it; only that case publishes `finalBytes`.
int DecodeLosslessImage(ByteView source, std::uint8_t* destination, std::int32_t capacity, LosslessImage* image,
                        std::atomic<std::size_t>* finalBytes = nullptr) noexcept;

// Reads the stream only as far as its frame header, with the same rules and codes as DecodeLosslessImage (one to
// four components), so that a caller can size the destination. Y is 0 when the line count comes from a DNL segment.
int ReadLosslessFrameHeader(ByteView source, FrameHeader* frame) noexcept;

// The steps of the decode, each over the state record (cursor at the segment's length field where one is read).
// Exposed so that their contracts can be exercised one by one.
int DecodeStream(LosslessState* state) noexcept;
int ReadMarkerSegment(LosslessState* state, std::uint16_t marker) noexcept;
int SkipSegment(LosslessState* state) noexcept;
int ReadHuffmanTable(LosslessState* state) noexcept;
int ReadFrame(LosslessState* state) noexcept;
int ReadLineCount(LosslessState* state) noexcept;
int ReadRestartInterval(LosslessState* state) noexcept;
int ReadScan(LosslessState* state) noexcept;
int InstallDefaultTable(LosslessState* state) noexcept;
int DeriveDecodeTables(LosslessState* state, int slot) noexcept;

} // namespace lossless

} // namespace orblane

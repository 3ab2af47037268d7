#pragma once

#include "dicom/FrameSource.h"
#include "imaging/codecs/Codec.h"

#include <vector>

namespace orblane {

// One function per codec, each in its own file of this folder; the transfer-syntax table names them. The step
// before DecodeNative for big-endian data (SwapWordsToLittleEndian) is the data set's: dicom/FrameSource.h.

// Uncompressed pixel data: whole-word and bit-packed samples, planar or interleaved colour, YBR_FULL_422 expanded.
DecodeResult DecodeNative(ByteView frame, const FrameGeometry& declared, const DecodeLimits& limits,
                          std::span<std::uint8_t> out) noexcept;
// JPEG baseline and 8-bit extended (T.81 processes 1, 2 and 4 at 8 bits) through TurboJPEG.
DecodeResult DecodeJpegBaseline(ByteView frame, const FrameGeometry& declared, const DecodeLimits& limits,
                                std::span<std::uint8_t> out) noexcept;
// The same decode written as display pixels (TurboJPEG's own BGRA output).
DecodeResult DecodeJpegBaselineToDisplay(ByteView frame, SampleColour declared, const DecodeLimits& limits,
                                         const DisplayPixelsOut& out) noexcept;
// The same decode reduced by the library's scaled inverse DCT to the smallest size whose longer side still has
// atLeast pixels (a thumbnail): 8-bit grey or RGB samples, interleaved, in `out`; `actual` gives their size.
DecodeResult DecodeJpegBaselineScaled(ByteView frame, SampleColour declared, int atLeast, const DecodeLimits& limits,
                                      std::vector<std::uint8_t>& out) noexcept;
// JPEG extended at 12 bits (T.81 processes 2 and 4, Huffman, sequential): our own DCT decoder; 8-bit streams go to
// DecodeJpegBaseline.
DecodeResult DecodeJpegExtended(ByteView frame, const FrameGeometry& declared, const DecodeLimits& limits,
                                std::span<std::uint8_t> out) noexcept;
// JPEG lossless (T.81 process 14), every predictor and point transform: our own decoder.
DecodeResult DecodeJpegLossless(ByteView frame, const FrameGeometry& declared, const DecodeLimits& limits,
                                std::span<std::uint8_t> out) noexcept;
// JPEG-LS lossless and near-lossless through CharLS.
DecodeResult DecodeJpegLs(ByteView frame, const FrameGeometry& declared, const DecodeLimits& limits,
                          std::span<std::uint8_t> out) noexcept;
// JPEG 2000 through OpenJPEG, a codestream or a JP2 file; one with High-Throughput code-blocks goes to DecodeHtJ2k, so
// every JPEG 2000 and HTJ2K syntax names this one.
DecodeResult DecodeJpeg2000(ByteView frame, const FrameGeometry& declared, const DecodeLimits& limits,
                            std::span<std::uint8_t> out) noexcept;
// The same decode at the lowest resolution level whose longer side still has atLeast pixels (a thumbnail), or the
// full one where no level is small enough: samples laid out as DecodeJpeg2000 lays them, in `out` (sized here);
// `actual` gives their size. A stream of HT code-blocks answers Unsupported, and the caller decodes it whole.
DecodeResult DecodeJpeg2000Reduced(ByteView frame, const FrameGeometry& declared, int atLeast,
                                   const DecodeLimits& limits, std::vector<std::uint8_t>& out) noexcept;
// High-Throughput JPEG 2000 codestreams (HT code-blocks, a CAP segment) through OpenJPH, in a child process (see
// HtJ2kCodec.cpp).
DecodeResult DecodeHtJ2k(ByteView codestream, const FrameGeometry& declared, const DecodeLimits& limits,
                         std::span<std::uint8_t> out) noexcept;
// Whether this build holds the library behind DecodeJpegLs (CharLS) and DecodeHtJ2k (OpenJPH). A build without one
// refuses every frame of that kind as Unsupported (codecs/absent/), never as damaged: the file may well be sound.
bool HasJpegLsLibrary() noexcept;
bool HasHtJ2kLibrary() noexcept;
// RLE Lossless (PS3.5 Annex G): our own decoder.
DecodeResult DecodeRle(ByteView frame, const FrameGeometry& declared, const DecodeLimits& limits,
                       std::span<std::uint8_t> out) noexcept;

} // namespace orblane

#pragma once

// A JPEG lossless (T.81 Annex H) encoder for tests, benchmarks and fuzz seeds: one to four components (in one
// interleaved scan or a scan each), any selection value, precisions 2 to 16, optional restart interval and DNL, the
// decoder's built-in table or a table of one's own.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace orblane::test {

struct HuffmanDefinition
{
    std::array<std::uint8_t, 16> bits{}; // number of codes of length 1..16
    std::vector<std::uint8_t> values;    // categories in code order
};

enum class TableChoice
{
    BuiltIn, // no DHT segment: the decoder must fall back on its built-in table
    Optimal, // a DHT built from the image's own category statistics (T.81 K.2)
    Custom,  // the table given in the options, written as a DHT
};

struct LosslessEncodeOptions
{
    int precision = 12;
    int width = 0;
    int height = 0;
    int predictor = 1;                 // selection value 1..7
    std::uint16_t restartInterval = 0; // in pixels (one pixel is one MCU here); 0 = none
    bool dnl = false;                  // Y = 0 in the frame header and a DNL segment after the scan
    TableChoice table = TableChoice::Optimal;
    HuffmanDefinition custom;
    std::uint8_t tableSlot = 0;
    // Several components: samples interleaved per pixel; component k has id k + 1 and, with an optimal table, a
    // table of its own in slot k. Interleaved: one scan of all; otherwise a scan (and a DHT) for each in turn.
    int components = 1;
    bool interleaved = true;
};

// The decoder's built-in table (17 codes, categories 0..16).
HuffmanDefinition BuiltInTable();

// Encodes width * height * components samples (row by row, a pixel's samples together, each below 2^precision).
std::vector<std::uint8_t> EncodeLossless(std::span<const std::uint16_t> samples, const LosslessEncodeOptions& options);

// Synthetic content: a smooth field with Gaussian-like noise and a few sharp edges, deterministic for a seed.
std::vector<std::uint16_t> MakeTestImage(int width, int height, int precision, std::uint32_t seed);

} // namespace orblane::test

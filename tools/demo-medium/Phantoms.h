#pragma once

// Synthetic anatomy for the demo medium: every image is computed from a few geometric shapes and a seeded noise
// source, so the medium holds no patient data and is the same byte for byte on every build.

#include <cstdint>
#include <vector>

namespace orblane::demo {

// A small deterministic generator (splitmix64): the same seed gives the same noise on every platform.
class Random
{
public:
    explicit Random(std::uint64_t seed) noexcept : state(seed) {}
    std::uint64_t Next() noexcept;
    double Uniform() noexcept; // [0, 1)
    double Normal() noexcept;  // mean 0, deviation 1 (sum of uniforms: no library maths, the same everywhere)

private:
    std::uint64_t state;
};

inline constexpr int kCtSize = 512;
inline constexpr double kCtPixelSpacing = 0.7; // mm
inline constexpr int kCtRescaleIntercept = -1024;

// One axial slice of a contrast-enhanced chest, as stored values (Hounsfield units + 1024, 12 bits), top row first.
// position runs from 0 (lung apices) to 1 (upper abdomen). The follow-up shows a lung nodule that has grown.
std::vector<std::uint16_t> CtChestSlice(double position, bool followUp, std::uint64_t seed);

inline constexpr int kMrSize = 256;
inline constexpr double kMrPixelSpacing = 0.9; // mm

enum class MrWeighting
{
    T1,
    T2,
};

// One axial slice of a head, 12-bit magnitude values; position runs from 0 (orbits) to 1 (vertex).
std::vector<std::uint16_t> MrHeadSlice(double position, MrWeighting weighting, std::uint64_t seed);

inline constexpr int kRadiographColumns = 2048;
inline constexpr int kRadiographRows = 2560;
inline constexpr double kRadiographPixelSpacing = 0.168; // mm

// A postero-anterior chest radiograph as a storage phosphor reader gives it: 12-bit values that rise with the
// exposure (so MONOCHROME1 shows bone white and air black).
std::vector<std::uint16_t> ChestRadiograph(std::uint64_t seed);

inline constexpr int kPhotoWidth = 640;
inline constexpr int kPhotoHeight = 480;

// A close-up photograph of a skin lesion with a measuring scale, as red, green, blue bytes per pixel.
std::vector<std::uint8_t> SkinPhotograph(std::uint64_t seed);

} // namespace orblane::demo

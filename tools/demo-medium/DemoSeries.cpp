#include "DemoSeries.h"

#include "Phantoms.h"

#include <algorithm>

namespace orblane::demo {

LocalizerImage ChestLocalizer(int axialSlices)
{
    LocalizerImage image;
    image.values.resize(static_cast<std::size_t>(kLocalizerRows) * kLocalizerColumns);
    const double lastZ = -5.0 * (axialSlices - 1);
    for (int row = 0; row < kLocalizerRows; ++row)
    {
        // The phantom's slice at this height (clamped: the anatomy goes on beyond the scanned range), summed front
        // to back as attenuation adds up along the beam, two columns to a pixel.
        const double z = kLocalizerTopZ - kLocalizerSpacing * row;
        const double position = std::clamp(z / lastZ, 0.0, 1.0);
        const std::vector<std::uint16_t> slice =
            CtChestSlice(position, false, 0x10CA0000ull + static_cast<unsigned>(row));
        for (int column = 0; column < kLocalizerColumns; ++column)
        {
            double sum = 0.0;
            for (int y = 0; y < kCtSize; ++y)
            {
                const std::size_t at = static_cast<std::size_t>(y) * kCtSize + static_cast<std::size_t>(2 * column);
                sum += slice[at] + slice[at + 1];
            }
            image.values[static_cast<std::size_t>(row) * kLocalizerColumns + static_cast<std::size_t>(column)] =
                static_cast<std::uint16_t>(std::clamp(sum / (2.0 * kCtSize) * 2.0, 0.0, 4095.0) + 0.5);
        }
    }
    std::vector<std::uint16_t> sorted = image.values;
    std::sort(sorted.begin(), sorted.end());
    const int low = sorted[sorted.size() / 50];
    const int high = sorted[sorted.size() - 1 - sorted.size() / 50];
    image.windowCentre = (low + high) / 2;
    image.windowWidth = std::max(1, high - low);
    return image;
}

std::vector<std::uint8_t> MakeIcon(const std::vector<std::uint16_t>& values, int columns, int rows, double centre,
                                   double width)
{
    std::vector<std::uint8_t> icon(static_cast<std::size_t>(kIconSize) * kIconSize);
    for (int y = 0; y < kIconSize; ++y)
    {
        for (int x = 0; x < kIconSize; ++x)
        {
            // The mean of the block of source pixels the icon pixel covers.
            const int r0 = y * rows / kIconSize;
            const int r1 = std::max(r0 + 1, (y + 1) * rows / kIconSize);
            const int c0 = x * columns / kIconSize;
            const int c1 = std::max(c0 + 1, (x + 1) * columns / kIconSize);
            double sum = 0.0;
            for (int r = r0; r < r1; ++r)
            {
                for (int c = c0; c < c1; ++c)
                {
                    sum += values[static_cast<std::size_t>(r) * static_cast<std::size_t>(columns) +
                                  static_cast<std::size_t>(c)];
                }
            }
            const double mean = sum / ((r1 - r0) * (c1 - c0));
            const double level = std::clamp((mean - (centre - width / 2.0)) / width * 255.0, 0.0, 255.0);
            icon[static_cast<std::size_t>(y) * kIconSize + static_cast<std::size_t>(x)] =
                static_cast<std::uint8_t>(level + 0.5);
        }
    }
    return icon;
}

} // namespace orblane::demo

#include "Phantoms.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <utility>

namespace orblane::demo {

std::uint64_t Random::Next() noexcept
{
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double Random::Uniform() noexcept
{
    return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0);
}

double Random::Normal() noexcept
{
    // Four uniforms summed: variance 4/12, scaled to 1. Close enough to a bell for image noise, and cheap.
    const double sum = Uniform() + Uniform() + Uniform() + Uniform();
    return (sum - 2.0) * 1.7320508075688772;
}

namespace {

// How far inside an ellipse a point lies, as a weight from 0 (outside) to 1 (inside), with an edge about `edge` mm
// wide so that outlines look like a scanner's and not like a ruler's.
double Inside(double x, double y, double cx, double cy, double a, double b, double edge) noexcept
{
    if (a <= 0.0 || b <= 0.0)
    {
        return 0.0;
    }
    // Most shapes are small beside the image: most points are rejected before any square root.
    if (std::abs(x - cx) > a + edge || std::abs(y - cy) > b + edge)
    {
        return 0.0;
    }
    const double dx = (x - cx) / a;
    const double dy = (y - cy) / b;
    const double r = std::sqrt(dx * dx + dy * dy);
    const double distance = (1.0 - r) * std::min(a, b); // roughly mm inside the outline
    return std::clamp(distance / edge + 0.5, 0.0, 1.0);
}

double Blend(double value, double target, double weight) noexcept
{
    return value + (target - value) * weight;
}

double Smooth(double t) noexcept
{
    t = std::clamp(t, 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

std::uint16_t ToStored(double value, double maximum) noexcept
{
    return static_cast<std::uint16_t>(std::lround(std::clamp(value, 0.0, maximum)));
}

// A vessel of the lung: a straight tube through the slices, seen as a small disc where it crosses one.
struct Tube
{
    double x0, y0, dx, dy, radius;
};

std::vector<Tube> LungVessels()
{
    Random random(0x5EED0001);
    std::vector<Tube> tubes;
    for (int i = 0; i < 160; ++i)
    {
        const double side = i % 2 == 0 ? -1.0 : 1.0;
        const double x = side * (30.0 + 95.0 * random.Uniform());
        const double y = -85.0 + 150.0 * random.Uniform();
        // Vessels near the hilum are thicker than those at the periphery.
        const double hilum = std::hypot(std::abs(x) - 45.0, y - 5.0);
        const double radius = std::clamp(4.5 - hilum / 25.0, 0.8, 4.0);
        tubes.push_back({x, y, 40.0 * (random.Uniform() - 0.5), 40.0 * (random.Uniform() - 0.5), radius});
    }
    return tubes;
}

} // namespace

std::vector<std::uint16_t> CtChestSlice(double t, bool followUp, std::uint64_t seed)
{
    static const std::vector<Tube> vessels = LungVessels();
    Random random(seed);
    std::vector<std::uint16_t> pixels(static_cast<std::size_t>(kCtSize) * kCtSize);

    // Sizes along the body's axis: lungs widest in the middle, the heart low in the chest, the liver dome and the
    // stomach at the bottom.
    const double lungScale = std::sqrt(std::max(0.0, std::sin(std::numbers::pi * (t + 0.08) / 0.98)));
    const double heart = Smooth((t - 0.42) / 0.12) * Smooth((0.95 - t) / 0.12);
    const double liver = Smooth((t - 0.68) / 0.25);
    const double stomach = Smooth((t - 0.8) / 0.1);
    const bool disc = std::fmod(t * 48.0, 5.0) < 0.9; // an intervertebral disc every fifth slice
    // Ribs are cut obliquely, so each appears as a small oval that wanders around the chest wall from slice to slice.
    std::array<std::pair<double, double>, 14> ribs;
    for (int rib = 0; rib < 14; ++rib)
    {
        const double side = rib < 7 ? -1.0 : 1.0;
        const double angle = 0.35 + (rib % 7) * 0.38 + 0.22 * std::sin(t * 9.0 + rib);
        ribs[static_cast<std::size_t>(rib)] = {side * 143.0 * std::cos(angle - 0.25),
                                               10.0 - 98.0 * std::sin(angle - 1.5)};
    }
    // Where this slice cuts the lung vessels, drawn once per slice rather than tested per pixel.
    std::vector<double> vesselMap(pixels.size(), 0.0);
    for (const Tube& v : vessels)
    {
        const double vx = v.x0 + v.dx * t;
        const double vy = v.y0 + v.dy * t;
        const int c0 = std::max(0, static_cast<int>((vx - 5.0) / kCtPixelSpacing) + kCtSize / 2);
        const int c1 = std::min(kCtSize - 1, static_cast<int>((vx + 5.0) / kCtPixelSpacing) + kCtSize / 2);
        const int r0 = std::max(0, static_cast<int>((vy - 5.0) / kCtPixelSpacing) + kCtSize / 2);
        const int r1 = std::min(kCtSize - 1, static_cast<int>((vy + 5.0) / kCtPixelSpacing) + kCtSize / 2);
        for (int row = r0; row <= r1; ++row)
        {
            const double y = (row - kCtSize / 2 + 0.5) * kCtPixelSpacing;
            for (int column = c0; column <= c1; ++column)
            {
                const double x = (column - kCtSize / 2 + 0.5) * kCtPixelSpacing;
                double& weight = vesselMap[static_cast<std::size_t>(row) * kCtSize + column];
                weight = std::max(weight, Inside(x, y, vx, vy, v.radius, v.radius, 0.8));
            }
        }
    }
    const double noduleRadius = followUp ? 8.0 : 4.5;
    const double noduleCut = std::max(0.0, noduleRadius * noduleRadius - std::pow((t - 0.45) * 240.0, 2.0));

    for (int row = 0; row < kCtSize; ++row)
    {
        const double y = (row - kCtSize / 2 + 0.5) * kCtPixelSpacing;
        for (int column = 0; column < kCtSize; ++column)
        {
            const double x = (column - kCtSize / 2 + 0.5) * kCtPixelSpacing;
            std::uint16_t& out = pixels[static_cast<std::size_t>(row) * kCtSize + column];
            if (x * x + y * y > 250.0 * 250.0)
            {
                out = 0; // outside the reconstructed field of view
                continue;
            }
            double hu = -1000.0;
            // The table under the patient.
            if (y > 160.0 && y < 166.0 && std::abs(x) < 200.0)
            {
                hu = 120.0;
            }
            else if (y > 176.0 && y < 180.0 && std::abs(x) < 215.0)
            {
                hu = 60.0;
            }
            const double body = Inside(x, y, 0.0, 10.0, 165.0, 120.0, 1.0);
            if (body > 0.0)
            {
                hu = Blend(hu, -100.0, body); // subcutaneous fat
                hu = Blend(hu, 45.0, Inside(x, y, 0.0, 10.0, 150.0, 106.0, 1.5));
                // Anterior chest wall fat and the pectoral muscles.
                hu = Blend(hu, -90.0, Inside(x, y, 0.0, -70.0, 90.0, 22.0, 2.0) * (1.0 - heart * 0.5));
                hu = Blend(hu, 50.0, Inside(x, y, -70.0, -85.0, 55.0, 12.0, 2.0));
                hu = Blend(hu, 50.0, Inside(x, y, 70.0, -85.0, 55.0, 12.0, 2.0));
                // Lungs, shrinking towards apex and base; the right one (image left) yields to the liver dome.
                const double rightLung = Inside(x, y, -72.0, 0.0, 58.0 * lungScale, 86.0 * lungScale, 1.0) *
                                         (1.0 - liver * Inside(x, y, -60.0, 10.0, 95.0, 90.0, 8.0));
                const double leftLung = Inside(x, y, 74.0, 2.0, 56.0 * lungScale, 84.0 * lungScale, 1.0) *
                                        (1.0 - heart * Inside(x, y, 18.0, -12.0, 72.0, 56.0, 6.0)) *
                                        (1.0 - stomach * Inside(x, y, 65.0, 0.0, 70.0, 70.0, 8.0));
                const double lung = std::max(rightLung, leftLung);
                if (lung > 0.0)
                {
                    double parenchyma = -860.0 + 25.0 * random.Normal();
                    parenchyma = Blend(parenchyma, 40.0, vesselMap[static_cast<std::size_t>(row) * kCtSize + column]);
                    if (noduleCut > 0.0)
                    {
                        const double r = std::sqrt(noduleCut);
                        parenchyma = Blend(parenchyma, 35.0, Inside(x, y, -85.0, -25.0, r, r, 0.8));
                    }
                    hu = Blend(hu, parenchyma, lung);
                }
                // Airways: trachea above the carina, main bronchi below it.
                if (t < 0.32)
                {
                    hu = Blend(hu, -1000.0, Inside(x, y, 0.0, -30.0, 9.0, 8.0, 0.8));
                }
                else if (t < 0.42)
                {
                    hu = Blend(hu, -1000.0, Inside(x, y, -16.0, -20.0, 6.0, 6.0, 0.8));
                    hu = Blend(hu, -1000.0, Inside(x, y, 16.0, -20.0, 6.0, 6.0, 0.8));
                }
                // Great vessels, enhanced by contrast.
                if (t > 0.15 && t < 0.5)
                {
                    hu = Blend(hu, 180.0, Inside(x, y, 10.0, -45.0, 15.0, 15.0, 1.0)); // ascending aorta
                }
                if (t > 0.3 && t < 0.5)
                {
                    hu = Blend(hu, 165.0, Inside(x, y, -22.0, -38.0, 13.0, 13.0, 1.0)); // pulmonary trunk
                }
                if (t > 0.12 && t < 0.2)
                {
                    hu = Blend(hu, 180.0, Inside(x, y, -5.0, -5.0, 40.0, 11.0, 1.0)); // aortic arch
                }
                hu = Blend(hu, 175.0, Inside(x, y, -22.0, 48.0, 12.0, 12.0, 1.0) * Smooth(t / 0.12));
                // Heart: myocardium around enhanced chambers.
                if (heart > 0.0)
                {
                    hu = Blend(hu, 55.0, heart * Inside(x, y, 18.0, -12.0, 68.0, 52.0, 1.5));
                    hu = Blend(hu, 190.0, heart * Inside(x, y, 8.0, -20.0, 30.0, 24.0, 1.5));
                    hu = Blend(hu, 170.0, heart * Inside(x, y, 45.0, -5.0, 20.0, 22.0, 1.5));
                }
                // Liver with its vessels, stomach with air above its contents.
                if (liver > 0.0)
                {
                    hu = Blend(hu, 62.0, liver * Inside(x, y, -60.0, 10.0, 95.0, 90.0, 1.5) * (1.0 - rightLung));
                    hu = Blend(hu, 150.0, liver * Inside(x, y, -40.0, 20.0, 6.0, 6.0, 0.8));
                    hu = Blend(hu, 150.0, liver * Inside(x, y, -75.0, -5.0, 4.0, 4.0, 0.8));
                }
                if (stomach > 0.0)
                {
                    const double s = stomach * Inside(x, y, 65.0, 0.0, 45.0, 38.0, 1.5) * (1.0 - leftLung);
                    hu = Blend(hu, y < -5.0 ? -1000.0 : 25.0, s);
                }
                // Spine: vertebral body (or disc), canal, posterior arch.
                const double cortex = Inside(x, y, 0.0, 72.0, 20.0, 18.0, 1.0);
                hu = Blend(hu, disc ? 85.0 : 750.0, cortex);
                hu = Blend(hu, disc ? 90.0 : 230.0, Inside(x, y, 0.0, 72.0, 17.0, 15.0, 1.0));
                hu = Blend(hu, 650.0, Inside(x, y, 0.0, 103.0, 13.0, 12.0, 1.0));
                hu = Blend(hu, 20.0, Inside(x, y, 0.0, 101.0, 8.0, 7.0, 1.0));
                hu = Blend(hu, 600.0, Inside(x, y, 0.0, 122.0, 4.0, 12.0, 1.0) * (body > 0.99 ? 1.0 : 0.0));
                // Sternum in front, scapulae behind.
                if (t < 0.78)
                {
                    hu = Blend(hu, 700.0, Inside(x, y, 0.0, -96.0, 16.0, 6.0, 1.0));
                    hu = Blend(hu, 300.0, Inside(x, y, 0.0, -96.0, 13.0, 4.0, 1.0));
                }
                if (t < 0.55)
                {
                    const double scapulaScale = 1.0 - t;
                    hu = Blend(hu, 700.0, Inside(x, y, -115.0, 75.0, 30.0 * scapulaScale, 5.0, 1.0));
                    hu = Blend(hu, 700.0, Inside(x, y, 115.0, 75.0, 30.0 * scapulaScale, 5.0, 1.0));
                }
                // Ribs.
                for (const auto& [rx, ry] : ribs)
                {
                    if (std::abs(x - rx) < 14.0 && std::abs(y - ry) < 14.0)
                    {
                        hu = Blend(hu, 700.0, Inside(x, y, rx, ry, 7.0, 5.0, 1.0));
                        hu = Blend(hu, 280.0, Inside(x, y, rx, ry, 5.0, 3.0, 1.0));
                    }
                }
            }
            hu += 9.0 * random.Normal();
            out = ToStored(hu - kCtRescaleIntercept, 4095.0);
        }
    }
    return pixels;
}

std::vector<std::uint16_t> MrHeadSlice(double t, MrWeighting weighting, std::uint64_t seed)
{
    const bool t1 = weighting == MrWeighting::T1;
    // Signal of each tissue.
    const double fat = t1 ? 950.0 : 700.0;
    const double bone = 60.0;
    const double csf = t1 ? 220.0 : 1500.0;
    const double grey = t1 ? 560.0 : 880.0;
    const double white = t1 ? 780.0 : 600.0;
    const double vitreous = t1 ? 160.0 : 1450.0;

    Random random(seed);
    std::vector<std::uint16_t> pixels(static_cast<std::size_t>(kMrSize) * kMrSize);
    const double scale = std::cos(std::max(0.0, t - 0.25) * 1.7); // the skull narrows towards the vertex
    const double a = 72.0 * scale;
    const double b = 92.0 * scale;
    const double ventricles = Smooth((t - 0.38) / 0.08) * Smooth((0.72 - t) / 0.08);
    const double orbits = Smooth((0.2 - t) / 0.08);
    const double cerebellum = Smooth((0.3 - t) / 0.1);

    for (int row = 0; row < kMrSize; ++row)
    {
        const double y = (row - kMrSize / 2 + 0.5) * kMrPixelSpacing;
        for (int column = 0; column < kMrSize; ++column)
        {
            const double x = (column - kMrSize / 2 + 0.5) * kMrPixelSpacing;
            double s = 0.0;
            const double head = Inside(x, y, 0.0, 0.0, a, b, 1.0);
            if (head > 0.0)
            {
                s = Blend(s, fat, head);                                              // scalp
                s = Blend(s, bone, Inside(x, y, 0.0, 0.0, a - 6.0, b - 6.0, 1.0));    // skull
                s = Blend(s, fat * 0.6, Inside(x, y, 0.0, 0.0, a - 8.0, b - 8.0, 1)); // marrow of the diploe
                s = Blend(s, bone, Inside(x, y, 0.0, 0.0, a - 9.5, b - 9.5, 1.0));
                s = Blend(s, csf, Inside(x, y, 0.0, 0.0, a - 12.0, b - 12.0, 1.0));
                // Cortex with gyri: the outline of the brain undulates with the angle.
                const double theta = std::atan2(y, x);
                const double gyri = 1.0 + 0.025 * std::sin(14.0 * theta + 6.0 * t) + 0.015 * std::sin(31.0 * theta);
                const double ba = (a - 14.0) * gyri;
                const double bb = (b - 14.0) * gyri;
                s = Blend(s, grey, Inside(x, y, 0.0, 0.0, ba, bb, 1.0));
                s = Blend(s, white, Inside(x, y, 0.0, 0.0, ba - 6.0 * gyri, bb - 6.0 * gyri, 2.0));
                // Interhemispheric fissure, in front of and behind the deep structures.
                if (std::abs(x) < 2.5 && std::abs(y) > 30.0 * scale)
                {
                    s = Blend(s, csf, Smooth((2.5 - std::abs(x)) / 1.5));
                }
                // Deep grey matter and the ventricles.
                if (t > 0.3 && t < 0.55)
                {
                    s = Blend(s, grey * 0.95, Inside(x, y, -16.0, 8.0, 11.0, 14.0, 2.0));
                    s = Blend(s, grey * 0.95, Inside(x, y, 16.0, 8.0, 11.0, 14.0, 2.0));
                }
                if (ventricles > 0.0)
                {
                    s = Blend(s, csf, ventricles * Inside(x, y, -9.0, -6.0, 5.0, 26.0, 1.0));
                    s = Blend(s, csf, ventricles * Inside(x, y, 9.0, -6.0, 5.0, 26.0, 1.0));
                    s = Blend(s, csf, ventricles * Inside(x, y, -13.0, 22.0, 6.0, 8.0, 1.0));
                    s = Blend(s, csf, ventricles * Inside(x, y, 13.0, 22.0, 6.0, 8.0, 1.0));
                }
                // Cerebellum with its folia, and the brain stem in front of it.
                if (cerebellum > 0.0)
                {
                    const double folia = 0.85 + 0.15 * std::sin(std::hypot(x, y - 45.0) * 1.6);
                    s = Blend(s, grey * folia, cerebellum * Inside(x, y, 0.0, 50.0, 48.0, 28.0, 1.5));
                    s = Blend(s, white, cerebellum * Inside(x, y, 0.0, 12.0, 13.0, 12.0, 1.5));
                    s = Blend(s, csf, cerebellum * Inside(x, y, 0.0, 27.0, 5.0, 3.0, 1.0));
                }
                // Eyes in front at the lowest slices: vitreous, lens, and the fat of the orbit.
                if (orbits > 0.0)
                {
                    for (const double side : {-1.0, 1.0})
                    {
                        s = Blend(s, fat, orbits * Inside(x, y, side * 30.0, -70.0, 17.0, 17.0, 1.5));
                        s = Blend(s, vitreous, orbits * Inside(x, y, side * 31.0, -76.0, 11.0, 11.0, 1.0));
                        s = Blend(s, t1 ? 700.0 : 300.0, orbits * Inside(x, y, side * 31.0, -86.0, 4.0, 2.0, 0.8));
                    }
                }
            }
            // Magnitude of a complex signal with noise in both channels: the background is not zero but a floor.
            const double re = s + 18.0 * random.Normal();
            const double im = 18.0 * random.Normal();
            pixels[static_cast<std::size_t>(row) * kMrSize + column] = ToStored(std::hypot(re, im), 4095.0);
        }
    }
    return pixels;
}

namespace {

// Attenuation added along a line segment with a tapering width, drawn only in its bounding box.
void AddVessel(std::vector<double>& attenuation, double x0, double y0, double x1, double y1, double w0, double w1,
               double strength)
{
    const double spacing = kRadiographPixelSpacing;
    const double length = std::hypot(x1 - x0, y1 - y0);
    const int steps = static_cast<int>(length / spacing) + 1;
    for (int step = 0; step <= steps; step += 2)
    {
        const double f = static_cast<double>(step) / steps;
        const double cx = x0 + (x1 - x0) * f;
        const double cy = y0 + (y1 - y0) * f;
        const double radius = (w0 + (w1 - w0) * f) / 2.0;
        const int c0 = std::max(0, static_cast<int>((cx - radius) / spacing + kRadiographColumns / 2.0));
        const int c1 =
            std::min(kRadiographColumns - 1, static_cast<int>((cx + radius) / spacing + kRadiographColumns / 2.0));
        const int r0 = std::max(0, static_cast<int>((cy - radius) / spacing));
        const int r1 = std::min(kRadiographRows - 1, static_cast<int>((cy + radius) / spacing));
        for (int row = r0; row <= r1; ++row)
        {
            for (int column = c0; column <= c1; ++column)
            {
                const double x = (column - kRadiographColumns / 2.0) * spacing;
                const double y = row * spacing;
                const double d = std::hypot(x - cx, y - cy);
                if (d < radius)
                {
                    // A cylinder seen from the side: thickest through its axis. Kept as a maximum along the
                    // segment so that overlapping stamps do not add up.
                    double& value = attenuation[static_cast<std::size_t>(row) * kRadiographColumns + column];
                    const double add = strength * std::sqrt(1.0 - (d * d) / (radius * radius));
                    value = std::max(value, add);
                }
            }
        }
    }
}

} // namespace

std::vector<std::uint16_t> ChestRadiograph(std::uint64_t seed)
{
    const std::size_t count = static_cast<std::size_t>(kRadiographColumns) * kRadiographRows;
    // Lung vessels first, in a layer of their own that the lungs later reveal.
    std::vector<double> vessels(count, 0.0);
    Random random(seed);
    for (const double side : {-1.0, 1.0})
    {
        for (int i = 0; i < 70; ++i)
        {
            const double angle = std::numbers::pi * (0.15 + 0.7 * random.Uniform());
            const double length = 50.0 + 90.0 * random.Uniform();
            const double hx = side * 42.0;
            const double hy = 200.0 + 30.0 * random.Uniform();
            const double ex = hx + side * length * std::sin(angle) * 0.9;
            const double ey = hy - length * std::cos(angle) * 1.1;
            const double midX = (hx + ex) / 2.0 + side * 10.0 * (random.Uniform() - 0.5);
            const double midY = (hy + ey) / 2.0 + 10.0 * (random.Uniform() - 0.5);
            AddVessel(vessels, hx, hy, midX, midY, 4.0, 2.4, 0.16);
            AddVessel(vessels, midX, midY, ex, ey, 2.4, 0.8, 0.12);
        }
    }

    std::vector<std::uint16_t> pixels(count);
    for (int row = 0; row < kRadiographRows; ++row)
    {
        const double y = row * kRadiographPixelSpacing; // mm from the top edge
        // Half width of the body at this height: neck, shoulders, chest, waist.
        double halfWidth = 55.0;
        if (y > 40.0)
        {
            halfWidth = 55.0 + 115.0 * Smooth((y - 40.0) / 45.0) - 10.0 * Smooth((y - 330.0) / 90.0);
        }
        for (int column = 0; column < kRadiographColumns; ++column)
        {
            const double x = (column - kRadiographColumns / 2.0 + 0.5) * kRadiographPixelSpacing;
            const double u = std::abs(x);
            double a = 0.0;
            if (u < halfWidth + 2.0)
            {
                const double across = std::clamp(1.0 - (u / halfWidth) * (u / halfWidth), 0.0, 1.0);
                a += 1.7 * std::sqrt(across);
                // Shoulders and arms at the sides of the upper chest.
                if (y > 60.0 && u > halfWidth - 25.0)
                {
                    a += 0.35 * Smooth((u - halfWidth + 25.0) / 10.0) * Smooth((halfWidth - u) / 4.0);
                }
            }
            // Lungs: lower the attenuation; the right lung (image left) is shorter, over the liver.
            const double domeRight = 320.0 - 40.0 * ((x + 85.0) / 75.0) * ((x + 85.0) / 75.0);
            const double domeLeft = 338.0 - 45.0 * ((x - 85.0) / 75.0) * ((x - 85.0) / 75.0);
            double lung = 0.0;
            if (x < -12.0)
            {
                lung = Inside(x, y, -82.0, 205.0, 72.0, 135.0, 6.0) * Smooth((domeRight - y) / 6.0);
            }
            else if (x > 12.0)
            {
                lung = Inside(x, y, 84.0, 212.0, 70.0, 140.0, 6.0) * Smooth((domeLeft - y) / 6.0);
            }
            // Heart over the lower left lung, mediastinum and spine in the middle.
            const double heart = Inside(x, y, 22.0, 262.0, 78.0, 62.0, 4.0);
            lung *= 1.0 - 0.8 * heart;
            a -= 1.05 * lung;
            a += 0.12 * heart;
            a += 0.3 * Smooth((34.0 - u) / 8.0) * Smooth((y - 60.0) / 20.0);
            if (u < 20.0 && y > 20.0)
            {
                const double level = std::fmod(y - 20.0, 23.0); // vertebra and disc
                a += level < 19.0 ? 0.22 : 0.12;
                a += 0.12 * Smooth((2.0 - std::abs(u - 17.0)) / 1.5); // pedicles
            }
            // Abdomen below the diaphragm.
            a += 0.2 * Smooth((y - std::max(x < 0.0 ? domeRight : domeLeft, 290.0)) / 15.0) *
                 (u < halfWidth ? 1.0 : 0.0);
            // Clavicles.
            const double clavicleY = 70.0 - 12.0 * std::sin(std::min(u, 150.0) / 150.0 * std::numbers::pi);
            if (u > 18.0 && u < 155.0)
            {
                a += 0.45 * Smooth((6.0 - std::abs(y - clavicleY)) / 1.5);
            }
            // Posterior ribs, curving down towards the sides; brighter cortical edges.
            if (u > 18.0 && u < halfWidth - 6.0 && y > 80.0)
            {
                const double lateral = (u - 18.0) / 150.0;
                for (int rib = 0; rib < 10; ++rib)
                {
                    const double centre = 92.0 + rib * 24.0 + 45.0 * lateral * lateral - 8.0 * lateral;
                    const double d = std::abs(y - centre);
                    if (d < 6.0)
                    {
                        a += 0.22 + 0.12 * Smooth((d - 3.5) / 1.5);
                    }
                }
            }
            a += vessels[static_cast<std::size_t>(row) * kRadiographColumns + column] * lung;
            // A marker in the top corner, as a technologist places one.
            if (x > 140.0 && x < 158.0 && y > 20.0 && y < 40.0)
            {
                a = 2.6;
            }
            const double value = 3900.0 - 1350.0 * a + 14.0 * random.Normal();
            pixels[static_cast<std::size_t>(row) * kRadiographColumns + column] = ToStored(value, 4095.0);
        }
    }
    return pixels;
}

std::vector<std::uint8_t> SkinPhotograph(std::uint64_t seed)
{
    Random random(seed);
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(kPhotoWidth) * kPhotoHeight * 3);
    for (int row = 0; row < kPhotoHeight; ++row)
    {
        for (int column = 0; column < kPhotoWidth; ++column)
        {
            const double x = column - 320.0;
            const double y = row - 210.0;
            // Skin lit from the top left, with fine texture.
            const double light = 1.0 - 0.25 * (column + row) / (kPhotoWidth + kPhotoHeight);
            const double grain = 4.0 * random.Normal();
            double r = 228.0 * light + grain;
            double g = 176.0 * light + grain;
            double b = 150.0 * light + grain;
            // The lesion: dark centre, lighter brown rim, irregular outline.
            const double theta = std::atan2(y, x);
            const double edge = 1.0 + 0.12 * std::sin(5.0 * theta) + 0.07 * std::sin(11.0 * theta + 1.0);
            const double inner = Inside(x, y, 0.0, 0.0, 70.0 * edge, 55.0 * edge, 6.0);
            const double core = Inside(x, y, 8.0, -4.0, 38.0 * edge, 30.0 * edge, 10.0);
            r = Blend(r, 150.0 * light, inner);
            g = Blend(g, 98.0 * light, inner);
            b = Blend(b, 72.0 * light, inner);
            r = Blend(r, 88.0, core);
            g = Blend(g, 52.0, core);
            b = Blend(b, 40.0, core);
            // A paper scale along the bottom edge: ticks every 10 pixels, longer every 50.
            if (row > 400 && row < 460 && column > 60 && column < 580)
            {
                r = g = b = 245.0 + grain * 0.5;
                const int offset = column - 70;
                const bool tick = offset >= 0 && offset % 10 < 2;
                const int tickLength = offset % 50 < 2 ? 30 : 15;
                if ((tick && row < 402 + tickLength) || row > 456)
                {
                    r = g = b = 30.0;
                }
            }
            const std::size_t at = (static_cast<std::size_t>(row) * kPhotoWidth + column) * 3;
            rgb[at] = static_cast<std::uint8_t>(std::clamp(r, 0.0, 255.0));
            rgb[at + 1] = static_cast<std::uint8_t>(std::clamp(g, 0.0, 255.0));
            rgb[at + 2] = static_cast<std::uint8_t>(std::clamp(b, 0.0, 255.0));
        }
    }
    return rgb;
}

} // namespace orblane::demo

// The unit label and spacing of measurements from the header alone, rule by rule (PS3.3 10.7.1.3, C.8.11.7).
#include "dicom/Calibration.h"

#include "support/CaseName.h"

#include <gtest/gtest.h>

namespace orblane {
namespace {

using Text = std::optional<std::string>;
constexpr std::nullopt_t none = std::nullopt;

struct CalibrationCase
{
    const char* name;
    const char* modality;
    Text pixel;
    Text imager;
    Text magnification;
    Text sourceToDetector;
    Text sourceToPatient;
    Text calibrationType;
    Text calibrationDescription;
    const char* label;
    double rowSpacing; // 0: none
    double columnSpacing;
};

const CalibrationCase kCases[] = {
    {"CtPixelSpacing", "CT", "0.7\\0.5", none, none, none, none, none, none, "mm", 0.7, 0.5},
    {"MrPaddedText", "MR", " 1.25\\1.5 ", none, none, none, none, none, none, "mm", 1.25, 1.5},
    {"CtWithoutSpacing", "CT", none, none, none, none, none, none, none, "px", 0, 0},
    {"RadiographPixelSpacingOnly", "CR", "0.1\\0.1", none, none, none, none, none, none, "mm (basis unknown)", 0.1,
     0.1},
    {"ImagerSpacingOnly", "DX", none, "0.143\\0.15", none, none, none, none, none, "mm at detector", 0.143, 0.15},
    {"ImagerSpacingOfUnnamedModality", "OT", none, "0.2\\0.2", none, none, none, none, none, "mm at detector", 0.2,
     0.2},
    {"PixelEqualToImager", "DX", "0.100\\0.1", "0.1\\0.10", none, none, none, none, none, "mm at detector", 0.1, 0.1},
    {"MagnificationFactor", "DX", none, "0.15\\0.15", "1.2", none, none, none, none,
     "mm, magnification corrected (estimated)", 0.125, 0.125},
    {"SourceDistances", "MG", none, "0.1\\0.1", none, "1000", "800", none, none,
     "mm, magnification corrected (estimated)", 0.08, 0.08},
    {"SourceDistancesInverted", "MG", none, "0.1\\0.1", none, "800", "1000", none, none, "mm at detector", 0.1, 0.1},
    {"ZeroMagnificationIgnored", "DX", none, "0.1\\0.1", "0", none, none, none, none, "mm at detector", 0.1, 0.1},
    {"CalibratedWithDescription", "CR", "0.09\\0.09", "0.1\\0.1", none, none, none, "GEOMETRY ", "ball 25 mm",
     "mm, calibrated (ball 25 mm)", 0.09, 0.09},
    {"CalibratedWithTypeOnly", "DX", "0.09\\0.08", "0.1\\0.1", "1.1", none, none, "FIDUCIAL", none,
     "mm, calibrated (FIDUCIAL)", 0.09, 0.08},
    {"DifferingWithoutCalibrationUsesFactor", "DX", "0.09\\0.09", "0.1\\0.1", "1.25", none, none, none, none,
     "mm, magnification corrected (estimated)", 0.08, 0.08},
    {"DifferingWithoutAnyBasis", "DX", "0.09\\0.09", "0.1\\0.1", none, none, none, none, none, "mm (basis unknown)",
     0.09, 0.09},
    {"ZeroSpacing", "CT", "0\\0.5", none, none, none, none, none, none, "px", 0, 0},
    {"NegativeSpacing", "CT", "-0.5\\0.5", none, none, none, none, none, none, "px", 0, 0},
    {"NanSpacing", "CT", "nan\\0.5", none, none, none, none, none, none, "px", 0, 0},
    {"SingleValue", "MR", "0.5", none, none, none, none, none, none, "px", 0, 0},
    {"ThreeValues", "MR", "0.5\\0.5\\0.5", none, none, none, none, none, none, "px", 0, 0},
    {"EmptyValue", "MR", "", none, none, none, none, none, none, "px", 0, 0},
    {"DamagedImagerNotReplacedByPixel", "DX", "0.1\\0.1", "0.1", none, none, none, none, none, "px", 0, 0},
};

class CalibrationTest : public ::testing::TestWithParam<CalibrationCase>
{
};

TEST_P(CalibrationTest, LabelAndSpacingFollowTheHeader)
{
    const CalibrationCase& c = GetParam();
    SpacingAttributes header;
    header.modality = c.modality;
    header.pixelSpacing = c.pixel;
    header.imagerPixelSpacing = c.imager;
    header.magnificationFactor = c.magnification;
    header.sourceToDetector = c.sourceToDetector;
    header.sourceToPatient = c.sourceToPatient;
    header.calibrationType = c.calibrationType;
    header.calibrationDescription = c.calibrationDescription;
    const Calibration calibration = CalibrationOf(header);
    EXPECT_EQ(calibration.label, c.label);
    EXPECT_EQ(calibration.HasSpacing(), c.rowSpacing != 0);
    EXPECT_NEAR(calibration.rowSpacing, c.rowSpacing, 1e-12);
    EXPECT_NEAR(calibration.columnSpacing, c.columnSpacing, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(Headers, CalibrationTest, ::testing::ValuesIn(kCases), test::ByCaseName{});

} // namespace
} // namespace orblane

#pragma once

#include "core/ViewerSettings.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orblane {

// Every setting the viewer reads, with its default and correction. Each call reads the file at that moment: the
// files are never cached and never written. The path arguments are GetSettingsPath() ("Orblane.ini") or
// GetInfoSettingsPath() ("OrblInf.ini").

// A colour value "red,green,blue": split at commas (a run of commas is one separator), each part read as an integer
// whose low 8 bits are taken (300 gives 44); a missing part gives 0.
ColourRef ParseColour(std::u16string_view value) noexcept;

// floor(value * scale) as an int; non-numbers and values beyond the int range are clamped rather than overflowing.
int FloorScaled(double value, double scale) noexcept;

// "Orblane.ini"

// Fills every field from the file; overlayVisible is set to 1.
ViewerSettings ReadViewerSettings(const std::string& settingsPath);
// [DisplaySettings] ImageCacheMB in bytes: a whole number of megabytes from 1 to kMaxImageCacheMegabytes (spaces
// around it allowed); anything else (absent, 0, negative, not a number, absurdly large) gives 0, the default.
std::size_t ReadImageCacheBytes(const std::string& settingsPath);
inline constexpr std::uint64_t kMaxImageCacheMegabytes = std::uint64_t{1} << 20;
// The factor of one zoom step ([ERoperation] ERmangnification, default 1.2).
double ReadZoomStep(const std::string& settingsPath);

// "OrblInf.ini"

// The six study list column titles: name, ID, birth date, sex, study date and time, modality.
std::array<std::u16string, 6> ReadStudyListColumnTitles(const std::string& infoPath);
// The study list's column header font; 9 pt "Lucida Sans Unicode" unless both face and a size of at least 1 pt are
// given.
FontChoice ReadStudyListHeaderFont(const std::string& infoPath);
// Caption of the error dialog's OK button ("OK" when not set).
std::u16string ReadErrorDialogOkCaption(const std::string& infoPath);
// The error dialog's OK button font: floor(fontsize * 10) tenths of a point (one decimal kept), default 9.0 pt.
FontChoice ReadErrorDialogOkFont(const std::string& infoPath);
// Caption of the version dialog's OK button; nullopt keeps the dialog's own caption.
std::optional<std::u16string> ReadVersionDialogOkCaption(const std::string& infoPath);
// The version dialog's OK button font: whole points only (9.5 gives 90 tenths), 9 pt unless at least 1 pt.
FontChoice ReadVersionDialogOkFont(const std::string& infoPath);

} // namespace orblane

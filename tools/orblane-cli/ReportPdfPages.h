#pragma once

#include "platform/Bytes.h"

#include <filesystem>
#include <string>

namespace orblane::cli {

// The most pages `report` writes: a hostile PDF may claim millions, and each page is a file.
inline constexpr int kMaxWrittenPages = 1000;

// Writes the PDF's pages (up to kMaxWrittenPages) as page-<n>.png at 96 dpi into outdir. Answers 0 and the page
// count of the document, or 1 with a message in failure. The renderer is Qt's PDF module, in the module
// orblane-cli-pdf beside the executable, loaded only here; a headless build has no module and answers that it has no
// renderer.
int WritePdfPages(ByteView pdf, const std::filesystem::path& outdir, int& pages, std::string& failure);

} // namespace orblane::cli

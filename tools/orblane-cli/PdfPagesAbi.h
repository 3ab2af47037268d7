#pragma once

// What the command line and its PDF module (orblane-cli-pdf, the one part that links Qt) pass each other: plain C
// types only, so that the two need not be built with the same library versions of anything.
#include <cstddef>
#include <cstdint>

extern "C" {

// Called for each page in order, numbered from 1, with the page's PNG bytes; answers 0 to go on, anything else to
// stop (the writer could not keep the page).
using OrblanePdfPageSink = int (*)(void* context, int page, const std::uint8_t* png, std::size_t size);

// Renders up to `maxPages` pages of the PDF at 96 dpi, handing each to `sink`. Answers 0 and the document's page
// count in `pages`, or 1 with a message (UTF-8, cut to `failureSize`) in `failure`.
using OrblanePdfPages = int (*)(const std::uint8_t* pdf, std::size_t size, int maxPages, OrblanePdfPageSink sink,
                                void* context, int* pages, char* failure, std::size_t failureSize);
}

// The exported name of the OrblanePdfPages function in the module.
inline constexpr const char* kOrblanePdfPagesSymbol = "OrblaneRenderPdfPages";

#pragma once

#include "core/CErrInf.h"
#include "platform/Bytes.h"

#include <memory>
#include <string>
#include <string_view>

namespace orblane {

// The catalogue "Errinf.csv": UTF-16 LE starting with the byte-order mark, one entry per line, each line three
// double-quoted fields (code, message, action) separated by commas. No header line, no quote escaping; a line that
// does not hold all six quotes and both commas fails the whole catalogue. Answers the head of the chain, or nullptr
// when the catalogue is malformed.
std::unique_ptr<CErrInf> ParseErrorCatalogue(ByteView file);

// Parses one cleaned line (no CR or LF left) into entry; false when a quote or comma is missing.
bool ParseCatalogueLine(std::u16string_view line, CErrInf& entry);

// The first entry whose code equals `code` exactly, or nullptr.
const CErrInf* FindCatalogueEntry(const CErrInf* head, std::u16string_view code) noexcept;

// Loads "Errinf.csv" from the executable's folder into the application state. On any failure the fallback error is
// raised with the exit request, so the process ends there; false only when the installed error handler returns.
bool LoadErrorCatalogue();

// The same from an explicit path, for tests and tools.
bool LoadErrorCatalogueFrom(const std::string& path);

// Larger catalogues are refused rather than read into memory whole.
inline constexpr std::size_t kMaxCatalogueBytes = 64u * 1024u * 1024u;

} // namespace orblane

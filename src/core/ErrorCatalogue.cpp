#include "core/ErrorCatalogue.h"

#include "core/ApplicationState.h"
#include "platform/ErrorSink.h"
#include "platform/FileAccess.h"
#include "platform/ModulePath.h"

#include <new>
#include <vector>

namespace orblane {
namespace {

constexpr char16_t kLineFeed = u'\n';
constexpr char16_t kCarriageReturn = u'\r';

// The file as 16-bit units, the byte-order mark included (it is the first unit of the first line); a trailing odd
// byte is no whole unit.
std::u16string Units(ByteView file)
{
    std::u16string units;
    units.reserve(file.size() / 2);
    for (std::size_t i = 0; i + 1 < file.size(); i += 2)
    {
        units.push_back(static_cast<char16_t>(file[i] | (file[i + 1] << 8)));
    }
    return units;
}

// Splits the units into lines the way a text reader hands them out: the line feed is dropped, a CR stays, and a file
// that ends with a line feed has no empty last line.
class LineReader
{
public:
    explicit LineReader(std::u16string_view text) : units(text) {}

    bool Next(std::u16string_view& line)
    {
        if (position >= units.size())
        {
            return false;
        }
        const std::size_t end = units.find(kLineFeed, position);
        if (end == std::u16string_view::npos)
        {
            line = units.substr(position);
            position = units.size();
        }
        else
        {
            line = units.substr(position, end - position);
            position = end + 1;
        }
        return true;
    }

private:
    std::u16string_view units;
    std::size_t position = 0;
};

std::u16string Clean(std::u16string_view line)
{
    std::u16string cleaned;
    cleaned.reserve(line.size());
    for (const char16_t unit : line)
    {
        if (unit != kCarriageReturn && unit != kLineFeed)
        {
            cleaned.push_back(unit);
        }
    }
    return cleaned;
}

bool IsBlankLineEnd(std::u16string_view line) noexcept
{
    return line.size() == 1 && (line[0] == kCarriageReturn || line[0] == kLineFeed);
}

} // namespace

bool ParseCatalogueLine(std::u16string_view line, CErrInf& entry)
{
    std::u16string_view fields[3];
    std::size_t position = 0;
    for (int field = 0; field < 3; ++field)
    {
        if (field > 0)
        {
            const std::size_t comma = line.find(u',', position);
            if (comma == std::u16string_view::npos)
            {
                return false;
            }
            position = comma + 1;
        }
        const std::size_t open = line.find(u'"', position);
        if (open == std::u16string_view::npos)
        {
            return false;
        }
        const std::size_t close = line.find(u'"', open + 1);
        if (close == std::u16string_view::npos)
        {
            return false;
        }
        fields[field] = line.substr(open + 1, close - open - 1);
        position = close + 1;
    }
    entry.code = fields[0];
    entry.message = fields[1];
    entry.action = fields[2];
    return true;
}

std::unique_ptr<CErrInf> ParseErrorCatalogue(ByteView file)
{
    if (file.size() < 2 || file[0] != 0xFF || file[1] != 0xFE)
    {
        return nullptr;
    }
    const std::u16string units = Units(file);
    LineReader reader(units);
    std::u16string_view line;
    bool firstLine = true;
    bool accepted = false;
    while (reader.Next(line))
    {
        const bool isFirst = firstLine;
        firstLine = false;
        if (line.size() >= 3)
        {
            if (isFirst)
            {
                line.remove_prefix(1); // the byte-order mark
            }
            accepted = true;
            break;
        }
    }
    if (!accepted)
    {
        return nullptr;
    }
    auto head = std::make_unique<CErrInf>();
    if (!ParseCatalogueLine(Clean(line), *head))
    {
        return nullptr;
    }
    CErrInf* tail = head.get();
    while (reader.Next(line))
    {
        if (IsBlankLineEnd(line))
        {
            continue;
        }
        auto entry = std::make_unique<CErrInf>();
        if (!ParseCatalogueLine(Clean(line), *entry))
        {
            return nullptr;
        }
        tail->next = std::move(entry);
        tail = tail->next.get();
    }
    return head;
}

const CErrInf* FindCatalogueEntry(const CErrInf* head, std::u16string_view code) noexcept
{
    for (const CErrInf* entry = head; entry != nullptr; entry = entry->next.get())
    {
        if (entry->code == code)
        {
            return entry;
        }
    }
    return nullptr;
}

bool LoadErrorCatalogueFrom(const std::string& path)
{
    std::unique_ptr<CErrInf> head;
    try
    {
        if (FileExists(path))
        {
            if (const auto bytes = ReadFileBytes(path, kMaxCatalogueBytes))
            {
                head = ParseErrorCatalogue(*bytes);
            }
        }
    }
    catch (const std::bad_alloc&)
    {
        head.reset();
    }
    if (!head)
    {
        AppState().catalogue.reset();
        RaiseError({}, 0, true);
        return false;
    }
    AppState().catalogue = std::move(head);
    return true;
}

bool LoadErrorCatalogue()
{
    return LoadErrorCatalogueFrom(GetModuleFolder() + "Errinf.csv");
}

} // namespace orblane

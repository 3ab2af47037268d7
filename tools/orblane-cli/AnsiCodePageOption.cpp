#include "AnsiCodePageOption.h"

#include "platform/CodePage.h"

#include <charconv>

namespace orblane::cli {

int TakeAnsiCodePageOption(Arguments args, std::vector<std::string_view>& positional)
{
    for (std::size_t i = 0; i < args.size(); ++i)
    {
        if (args[i] != "--ansi-codepage")
        {
            positional.push_back(args[i]);
            continue;
        }
        if (i + 1 >= args.size())
        {
            return UsageError("--ansi-codepage needs a code page number");
        }
        const std::string_view number = args[++i];
        int codePage = 0;
        const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), codePage);
        if (error != std::errc() || end != number.data() + number.size() || codePage <= 0)
        {
            return UsageError("--ansi-codepage needs a code page number");
        }
        if (!IsCodePageAvailable(codePage))
        {
            return UsageError("--ansi-codepage: not a code page this program can decode");
        }
        SetDefaultAnsiCodePage(codePage);
    }
    return 0;
}

} // namespace orblane::cli

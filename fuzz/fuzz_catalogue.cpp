// Feeds arbitrary bytes to the error catalogue parser and looks up every code it accepted.
#include "core/ErrorCatalogue.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto head = orblane::ParseErrorCatalogue(orblane::ByteView(data, size));
    for (const orblane::CErrInf* entry = head.get(); entry != nullptr; entry = entry->next.get())
    {
        if (orblane::FindCatalogueEntry(head.get(), entry->code) == nullptr)
        {
            __builtin_trap();
        }
    }
    return 0;
}

#include "core/CErrInf.h"

namespace orblane {

CErrInf::~CErrInf()
{
    // Unlink the chain one entry at a time: a catalogue has no line limit, and letting each entry destroy the next
    // recursively would run out of stack on a long one.
    std::unique_ptr<CErrInf> rest = std::move(next);
    while (rest)
    {
        rest = std::move(rest->next);
    }
}

} // namespace orblane

#pragma once

#include <memory>
#include <string>

namespace orblane {

// One line of the error catalogue; the entries form a chain in file order, and an entry owns the rest of the chain
// behind it.
class CErrInf
{
public:
    CErrInf() = default;
    ~CErrInf();
    CErrInf(const CErrInf&) = delete;
    CErrInf& operator=(const CErrInf&) = delete;

    std::unique_ptr<CErrInf> next;
    std::u16string code; // compared exactly with raised codes
    std::u16string message;
    std::u16string action;
};

} // namespace orblane

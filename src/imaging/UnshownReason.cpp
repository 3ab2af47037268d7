#include "imaging/UnshownReason.h"

#include "imaging/codecs/TransferSyntaxTable.h"

#include <string_view>

namespace orblane {
namespace {

// Names and UIDs are ASCII.
std::u16string Widen(std::string_view text)
{
    std::u16string wide;
    wide.reserve(text.size());
    for (const char c : text)
    {
        wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    }
    return wide;
}

std::u16string ReasonOf(const FrameSource& occurrence, bool damaged)
{
    if (occurrence.unshownReason != nullptr)
    {
        return Widen(occurrence.unshownReason);
    }
    const TransferSyntaxEntry* syntax = FindTransferSyntax(occurrence.description.transferSyntax);
    if (syntax == nullptr)
    {
        return u"Transfer syntax " + Widen(occurrence.syntaxName) + u" cannot be shown";
    }
    if (!damaged)
    {
        return Widen(occurrence.syntaxName) + u" cannot be shown";
    }
    if (!syntax->encapsulated)
    {
        return u"Pixel data incomplete: cannot be shown";
    }
    return Widen(occurrence.syntaxName) + u" frame damaged: cannot be shown";
}

} // namespace

std::u16string UnshownReason(const std::vector<FrameSource>& occurrences, int occurrence, bool unreadable,
                             ErrorOutcome error, FrameOutcome outcome)
{
    std::u16string reason;
    if (unreadable)
    {
        reason = u"File cannot be read: cannot be shown";
    }
    else if (error.code == ErrorCode::OutOfMemory)
    {
        reason = u"Not enough memory: cannot be shown";
    }
    else if (outcome.failure == FrameFailure::Unsupported)
    {
        // The codec (or the image build) refused this kind of frame: saying "damaged" would blame a sound file.
        const FrameSource& source = occurrences[static_cast<std::size_t>(occurrence)];
        reason = Widen(source.syntaxName) + u" frame not supported" +
                 (outcome.reason != nullptr ? u" (" + Widen(outcome.reason) + u")" : std::u16string()) +
                 u": cannot be shown";
    }
    else
    {
        const FrameSource& source = occurrences[static_cast<std::size_t>(occurrence)];
        reason = ReasonOf(source, source.decodable);
    }
    return reason;
}

} // namespace orblane

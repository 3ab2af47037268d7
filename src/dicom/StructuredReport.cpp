#include "dicom/StructuredReport.h"

#include "dicom/DicomTextRules.h"

#include <charconv>
#include <string_view>
#include <unordered_set>

namespace orblane {
namespace {

using Kind = DataSetNode::Kind;

std::u16string Widen(std::string_view ascii)
{
    return {ascii.begin(), ascii.end()};
}

bool IsPad(char16_t c) noexcept
{
    return c == u' ' || c == u'\0';
}

std::u16string Trimmed(std::u16string text)
{
    std::size_t first = 0;
    while (first < text.size() && IsPad(text[first]))
    {
        ++first;
    }
    std::size_t last = text.size();
    while (last > first && IsPad(text[last - 1]))
    {
        --last;
    }
    return text.substr(first, last - first);
}

// The walk's context: the tree and the character set every text converts under.
struct Reader
{
    const DataSetTree& tree;
    ByteView charset;

    std::u16string Text(std::uint32_t item, std::uint16_t group, std::uint16_t element) const
    {
        const auto value = tree.Value(item, group, element);
        return value ? Trimmed(ConvertText(charset, *value)) : std::u16string();
    }

    // A code string or UID: ASCII by definition, without its pad.
    std::string Plain(std::uint32_t item, std::uint16_t group, std::uint16_t element) const
    {
        const auto value = tree.Value(item, group, element);
        if (!value)
        {
            return {};
        }
        std::string text(value->begin(), value->end());
        if (const std::size_t nul = text.find('\0'); nul != std::string::npos)
        {
            text.resize(nul);
        }
        const std::size_t first = text.find_first_not_of(' ');
        const std::size_t last = text.find_last_not_of(' ');
        return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
    }

    // The Code Meaning of the first item of a code sequence.
    std::u16string CodeMeaning(std::uint32_t item, std::uint16_t group, std::uint16_t element) const
    {
        const std::uint32_t code = tree.FirstItem(item, group, element);
        return code == DataSetNode::kNone ? std::u16string() : Text(code, 0x0008, 0x0104);
    }

    std::string CodeValue(std::uint32_t item, std::uint16_t group, std::uint16_t element) const
    {
        const std::uint32_t code = tree.FirstItem(item, group, element);
        return code == DataSetNode::kNone ? std::string() : Plain(code, 0x0008, 0x0100);
    }

    std::u16string Name(std::uint32_t item, std::uint16_t group, std::uint16_t element) const
    {
        return Trimmed(ChoosePersonNameGroup(Text(item, group, element)));
    }
};

// HH, HH:MM or HH:MM:SS, and the fraction as stored; a time in the retired colon form reads the same.
std::string FormatTime(std::string_view stored)
{
    std::string digits;
    for (const char c : stored)
    {
        if (c != ':')
        {
            digits += c;
        }
    }
    std::string shown;
    for (std::size_t i = 0; i < digits.size() && i < 6; i += 2)
    {
        shown += i == 0 ? "" : ":";
        shown += digits.substr(i, 2);
    }
    if (digits.size() > 6)
    {
        shown += digits.substr(6);
    }
    return shown;
}

std::string Trim(std::string text)
{
    const std::size_t first = text.find_first_not_of(" \0", 0, 2);
    const std::size_t last = text.find_last_not_of(" \0", std::string::npos, 2);
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

std::vector<std::int32_t> ParseFrames(std::string_view text)
{
    std::vector<std::int32_t> frames;
    std::size_t at = 0;
    while (at <= text.size())
    {
        const std::size_t slash = std::min(text.find('\\', at), text.size());
        std::string_view part = text.substr(at, slash - at);
        while (!part.empty() && part.front() == ' ')
        {
            part.remove_prefix(1);
        }
        std::int32_t frame = 0;
        const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), frame);
        if (error == std::errc{} && frame > 0)
        {
            frames.push_back(frame);
        }
        at = slash + 1;
    }
    return frames;
}

std::u16string FramesText(const std::vector<std::int32_t>& frames)
{
    std::string text = frames.size() == 1 ? " (frame " : " (frames ";
    for (std::size_t i = 0; i < frames.size(); ++i)
    {
        text += (i == 0 ? "" : ", ") + std::to_string(frames[i]);
    }
    return Widen(text + ")");
}

// Concept, value and unit of one content item, from its value type alone (PS3.3 C.17.3).
void FillContent(const Reader& r, std::uint32_t node, ReportItem& item)
{
    const DataSetTree& tree = r.tree;
    item.valueType = r.Plain(node, 0x0040, 0xA040);
    item.conceptName = r.CodeMeaning(node, 0x0040, 0xA043);
    const std::string& type = item.valueType;
    if (type == "TEXT")
    {
        item.value = r.Text(node, 0x0040, 0xA160);
    }
    else if (type == "CODE")
    {
        item.value = r.CodeMeaning(node, 0x0040, 0xA168);
    }
    else if (type == "NUM")
    {
        const std::uint32_t measured = tree.FirstItem(node, 0x0040, 0xA300);
        if (measured != DataSetNode::kNone)
        {
            item.value = r.Text(measured, 0x0040, 0xA30A);
            item.unit = Widen(r.CodeValue(measured, 0x0040, 0x08EA));
        }
        else
        {
            // No value: the qualifier says why ("Not a number", "Value unknown").
            item.value = r.CodeMeaning(node, 0x0040, 0xA301);
        }
    }
    else if (type == "DATE")
    {
        const auto date = tree.Value(node, 0x0040, 0xA121);
        item.value = date ? Widen(FormatDicomDate(*date)) : std::u16string();
    }
    else if (type == "TIME")
    {
        item.value = Widen(FormatTime(r.Plain(node, 0x0040, 0xA122)));
    }
    else if (type == "DATETIME")
    {
        const std::string stored = r.Plain(node, 0x0040, 0xA120);
        const std::string_view text(stored);
        const ByteView date = AsBytes(text.substr(0, std::min<std::size_t>(8, text.size())));
        item.value = text.size() > 8 ? Widen(FormatDicomDateTime(date, AsBytes(text.substr(8)), DateTimeForm::Long))
                                     : Widen(FormatDicomDate(date));
    }
    else if (type == "PNAME")
    {
        item.value = r.Name(node, 0x0040, 0xA123);
    }
    else if (type == "UIDREF")
    {
        item.value = Widen(r.Plain(node, 0x0040, 0xA124));
    }
    else if (type == "IMAGE" || type == "COMPOSITE" || type == "WAVEFORM")
    {
        const std::uint32_t sequence = tree.Child(node, 0x0008, 0x1199);
        if (sequence != DataSetNode::kNone && tree.Node(sequence).kind == Kind::Sequence)
        {
            for (std::uint32_t ref = tree.Node(sequence).firstChild; ref != DataSetNode::kNone;
                 ref = tree.Node(ref).nextSibling)
            {
                if (tree.Node(ref).kind != Kind::Item)
                {
                    continue;
                }
                ReferencedObject object;
                object.sopClassUid = r.Plain(ref, 0x0008, 0x1150);
                object.sopInstanceUid = r.Plain(ref, 0x0008, 0x1155);
                object.frames = ParseFrames(r.Plain(ref, 0x0008, 0x1160));
                item.value += (item.value.empty() ? u"" : u", ") + Widen(object.sopInstanceUid);
                if (!object.frames.empty())
                {
                    item.value += FramesText(object.frames);
                }
                item.references.push_back(std::move(object));
            }
        }
    }
    else if (type == "SCOORD" || type == "SCOORD3D")
    {
        item.value = Widen(r.Plain(node, 0x0070, 0x0023));
    }
    else if (type == "TCOORD")
    {
        item.value = Widen(r.Plain(node, 0x0040, 0xA130));
    }
}

// A content item found in the tree: its data set item, and where its own children sit in the index (the index is
// laid out breadth first, so each item's children are one run).
struct IndexedItem
{
    std::uint32_t node = 0;
    std::uint32_t depth = 0;
    std::uint32_t firstChild = 0;
    std::uint32_t childCount = 0;
};

std::vector<IndexedItem> IndexContent(const DataSetTree& tree)
{
    std::vector<IndexedItem> index;
    index.push_back(IndexedItem{DataSetTree::kRoot, 0, 0, 0});
    for (std::size_t at = 0; at < index.size(); ++at)
    {
        index[at].firstChild = static_cast<std::uint32_t>(index.size());
        const std::uint32_t sequence = tree.Child(index[at].node, 0x0040, 0xA730);
        if (sequence == DataSetNode::kNone || tree.Node(sequence).kind != Kind::Sequence)
        {
            continue;
        }
        const std::uint32_t depth = index[at].depth + 1;
        for (std::uint32_t child = tree.Node(sequence).firstChild; child != DataSetNode::kNone;
             child = tree.Node(child).nextSibling)
        {
            if (tree.Node(child).kind == Kind::Item)
            {
                index.push_back(IndexedItem{child, depth, 0, 0});
                ++index[at].childCount;
            }
        }
    }
    return index;
}

// A by-reference target (PS3.3 C.17.3.2.5): positions from the root, the root itself being 1.
std::uint32_t Resolve(const std::vector<IndexedItem>& index, const std::vector<std::uint32_t>& path)
{
    if (path.empty() || path.front() != 1)
    {
        return DataSetNode::kNone;
    }
    std::uint32_t at = 0;
    for (std::size_t i = 1; i < path.size(); ++i)
    {
        if (path[i] == 0 || path[i] > index[at].childCount)
        {
            return DataSetNode::kNone;
        }
        at = index[at].firstChild + path[i] - 1;
    }
    return at;
}

std::vector<std::uint32_t> ReadPath(ByteView value, ByteOrder order)
{
    std::vector<std::uint32_t> path;
    const ValueReader reader(value, order);
    for (std::size_t offset = 0; offset + 4 <= value.size(); offset += 4)
    {
        path.push_back(*reader.U32(offset));
    }
    return path;
}

std::string PathText(const std::vector<std::uint32_t>& path)
{
    std::string text;
    for (std::size_t i = 0; i < path.size(); ++i)
    {
        text += (i == 0 ? "" : ".") + std::to_string(path[i]);
    }
    return text;
}

void ReadObservers(const Reader& r, StructuredReport& report)
{
    const DataSetTree& tree = r.tree;
    const auto each = [&tree](std::uint32_t sequence, auto&& visit) {
        if (sequence == DataSetNode::kNone || tree.Node(sequence).kind != Kind::Sequence)
        {
            return;
        }
        for (std::uint32_t item = tree.Node(sequence).firstChild; item != DataSetNode::kNone;
             item = tree.Node(item).nextSibling)
        {
            if (tree.Node(item).kind == Kind::Item)
            {
                visit(item);
            }
        }
    };
    each(tree.Child(DataSetTree::kRoot, 0x0040, 0xA078), [&](std::uint32_t item) {
        report.observers.push_back(
            ReportObserver{u"Author", r.Name(item, 0x0040, 0xA123), r.Text(item, 0x0008, 0x0080), std::u16string()});
    });
    each(tree.Child(DataSetTree::kRoot, 0x0040, 0xA073), [&](std::uint32_t item) {
        const std::string stored = r.Plain(item, 0x0040, 0xA030);
        const std::string_view text(stored);
        const ByteView date = AsBytes(text.substr(0, std::min<std::size_t>(8, text.size())));
        report.observers.push_back(
            ReportObserver{u"Verifying observer", r.Name(item, 0x0040, 0xA075), r.Text(item, 0x0040, 0xA027),
                           Widen(FormatDicomDateTime(date, AsBytes(text.substr(std::min<std::size_t>(8, text.size()))),
                                                     DateTimeForm::Short))});
    });
}

} // namespace

StructuredReport ReadStructuredReport(const DataSetTree& tree)
{
    StructuredReport report;
    const Reader r{tree, tree.Value(DataSetTree::kRoot, 0x0008, 0x0005).value_or(ByteView())};
    report.completion = Trim(r.Plain(DataSetTree::kRoot, 0x0040, 0xA491));
    report.verification = Trim(r.Plain(DataSetTree::kRoot, 0x0040, 0xA493));
    ReadObservers(r, report);

    const std::vector<IndexedItem> index = IndexContent(tree);
    std::unordered_set<std::string> seen;
    // Depth first in document order, on a stack of index positions: children pushed last to first.
    std::vector<std::uint32_t> pending{0};
    while (!pending.empty())
    {
        const IndexedItem& indexed = index[pending.back()];
        pending.pop_back();
        if (indexed.depth > kMaxReportDepth)
        {
            ++report.itemsTooDeep;
            continue;
        }
        for (std::uint32_t k = indexed.childCount; k-- > 0;)
        {
            pending.push_back(indexed.firstChild + k);
        }
        ReportItem item;
        item.depth = indexed.depth;
        item.relationship = indexed.depth == 0 ? std::string() : r.Plain(indexed.node, 0x0040, 0xA010);
        const std::uint32_t pathNode = tree.Child(indexed.node, 0x0040, 0xDB73);
        const std::vector<std::uint32_t> path = pathNode != DataSetNode::kNone
                                                    ? ReadPath(tree.Node(pathNode).value, tree.Node(pathNode).order)
                                                    : std::vector<std::uint32_t>();
        if (!path.empty())
        {
            // The target is rendered in place, its own children not followed: a loop of references cannot recur.
            item.byReference = PathText(path);
            const std::uint32_t target = Resolve(index, path);
            item.referenceFound = target != DataSetNode::kNone;
            if (item.referenceFound)
            {
                FillContent(r, index[target].node, item);
            }
        }
        else
        {
            FillContent(r, indexed.node, item);
        }
        for (const ReferencedObject& object : item.references)
        {
            if (!object.sopInstanceUid.empty() && seen.insert(object.sopInstanceUid).second)
            {
                report.referenced.push_back(object);
            }
        }
        if (item.valueType == "PNAME" && r.CodeValue(indexed.node, 0x0040, 0xA043) == "121008")
        {
            report.observers.push_back(ReportObserver{u"Person observer", item.value, {}, {}});
        }
        if (indexed.depth == 0)
        {
            report.title = item.conceptName;
        }
        report.items.push_back(std::move(item));
    }
    return report;
}

std::u16string ReportItemText(const ReportItem& item)
{
    std::u16string value = item.value;
    if (!item.unit.empty())
    {
        value += (value.empty() ? u"" : u" ") + item.unit;
    }
    std::u16string text = item.conceptName;
    if (!value.empty())
    {
        text += (text.empty() ? u"" : u": ") + value;
    }
    if (!item.byReference.empty())
    {
        text += (text.empty() ? u"(see " : u" (see ") + Widen(item.byReference) +
                (item.referenceFound ? u")" : u", not in the document)");
    }
    return text;
}

} // namespace orblane

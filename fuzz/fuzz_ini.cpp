// Feeds arbitrary bytes to the settings reader: decoding, the lookup of every key the viewer reads, and the value
// rules applied to what it finds.
#include "core/Settings.h"
#include "platform/IniFile.h"
#include "platform/NumberText.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace orblane;
    const std::u16string text = DecodeIniText(ByteView(data, size));
    constexpr std::u16string_view kKeys[][2] = {
        {u"DICOMDIRInformation", u"path"},
        {u"ImageWindow", u"framecolor"},
        {u"ImageWindow", u"framethickness"},
        {u"AttributeInformation", u"fontsize"},
        {u"WindowLevelParam", u"width"},
        {u"InspectionList", u"name"},
        {u"OK", u"agree"},
        {u"ERoperation", u"ERmangnification"},
    };
    for (const auto& key : kKeys)
    {
        if (const auto value = FindIniValue(text, key[0], key[1]))
        {
            const std::u16string shaped = ShapeIniValue(*value, 520);
            static_cast<void>(ParseColour(shaped));
            static_cast<void>(FloorScaled(WideToDouble(shaped), 10.0));
            static_cast<void>(ProfileTextToInt(ShapeIniValue(*value, 30)));
            static_cast<void>(WideToInt(shaped));
        }
    }
    return 0;
}

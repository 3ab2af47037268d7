#include "platform/CodePage.h"

#include "platform/ThreadObject.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <langinfo.h>
#include <locale.h>
#endif

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <limits>
#include <new>
#include <string_view>
#include <vector>

namespace orblane {
namespace {

// ICU's converters cover what the code pages mean except for the two ISO 2022 forms that DICOM writes differently
// from mail and the web; those are rewritten to the matching EUC form first and decoded by its converter.
enum class PreStep : std::uint8_t
{
    None,
    Iso2022Jp,
    Iso2022Kr,
};

struct CodePageEntry
{
    int codePage;
    const char* icuName;
    PreStep preStep;
};

constexpr std::array kCodePages{
    CodePageEntry{874, "windows-874", PreStep::None},   CodePageEntry{932, "windows-31j", PreStep::None},
    CodePageEntry{936, "windows-936", PreStep::None},   CodePageEntry{949, "windows-949", PreStep::None},
    CodePageEntry{950, "windows-950", PreStep::None},   CodePageEntry{1250, "windows-1250", PreStep::None},
    CodePageEntry{1251, "windows-1251", PreStep::None}, CodePageEntry{1252, "windows-1252", PreStep::None},
    CodePageEntry{1253, "windows-1253", PreStep::None}, CodePageEntry{1254, "windows-1254", PreStep::None},
    CodePageEntry{1255, "windows-1255", PreStep::None}, CodePageEntry{1256, "windows-1256", PreStep::None},
    CodePageEntry{1257, "windows-1257", PreStep::None}, CodePageEntry{1258, "windows-1258", PreStep::None},
    CodePageEntry{20866, "KOI8-R", PreStep::None},      CodePageEntry{20932, "EUC-JP", PreStep::None},
    CodePageEntry{21866, "KOI8-U", PreStep::None},      CodePageEntry{28591, "ISO-8859-1", PreStep::None},
    CodePageEntry{28592, "ISO-8859-2", PreStep::None},  CodePageEntry{28593, "ISO-8859-3", PreStep::None},
    CodePageEntry{28594, "ISO-8859-4", PreStep::None},  CodePageEntry{28595, "ISO-8859-5", PreStep::None},
    CodePageEntry{28596, "ISO-8859-6", PreStep::None},  CodePageEntry{28597, "ISO-8859-7", PreStep::None},
    CodePageEntry{28598, "ISO-8859-8", PreStep::None},  CodePageEntry{28599, "ISO-8859-9", PreStep::None},
    CodePageEntry{28603, "ISO-8859-13", PreStep::None}, CodePageEntry{28605, "ISO-8859-15", PreStep::None},
    CodePageEntry{50220, "EUC-JP", PreStep::Iso2022Jp}, CodePageEntry{50225, "EUC-KR", PreStep::Iso2022Kr},
    CodePageEntry{51932, "EUC-JP", PreStep::None},      CodePageEntry{51949, "EUC-KR", PreStep::None},
    CodePageEntry{54936, "GB18030", PreStep::None},     CodePageEntry{65001, "UTF-8", PreStep::None},
};

constexpr std::size_t kNotFound = kCodePages.size();

std::size_t FindCodePage(int codePage) noexcept
{
    for (std::size_t i = 0; i < kCodePages.size(); ++i)
    {
        if (kCodePages[i].codePage == codePage)
        {
            return i;
        }
    }
    return kNotFound;
}

// ICU substitutes U+001A for an unassigned single byte of some code pages; the viewer shows U+FFFD for every byte
// sequence it cannot read, whatever the code page.
void U_CALLCONV SubstituteReplacementCharacter(const void*, UConverterToUnicodeArgs* args, const char*, int32_t,
                                               UConverterCallbackReason reason, UErrorCode* status)
{
    if (reason > UCNV_IRREGULAR)
    {
        return;
    }
    static const UChar kReplacement = 0xFFFD;
    *status = U_ZERO_ERROR;
    ucnv_cbToUWriteUChars(args, &kReplacement, 1, 0, status);
}

UConverter* OpenConverter(const char* name) noexcept
{
    UErrorCode status = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(name, &status);
    if (U_FAILURE(status) || converter == nullptr)
    {
        return nullptr;
    }
    ucnv_setToUCallBack(converter, &SubstituteReplacementCharacter, nullptr, nullptr, nullptr, &status);
    if (U_FAILURE(status))
    {
        ucnv_close(converter);
        return nullptr;
    }
    return converter;
}

// A converter carries decoding state, so one thread must not use another's. Each thread keeps its own set, opened
// on first use: the UI thread and a CLI run open each converter once, and no conversion waits for a lock.
struct ConverterCache
{
    std::array<UConverter*, kCodePages.size()> converters{};
    std::array<bool, kCodePages.size()> failed{};
    std::vector<std::uint8_t> scratch;

    ConverterCache() = default;
    ConverterCache(const ConverterCache&) = delete;
    ConverterCache& operator=(const ConverterCache&) = delete;
    ~ConverterCache()
    {
        for (UConverter* converter : converters)
        {
            if (converter != nullptr)
            {
                ucnv_close(converter);
            }
        }
    }

    UConverter* Get(std::size_t index) noexcept
    {
        if (converters[index] == nullptr && !failed[index])
        {
            converters[index] = OpenConverter(kCodePages[index].icuName);
            failed[index] = converters[index] == nullptr;
        }
        return converters[index];
    }
};

// Null if the thread's set cannot be made.
ConverterCache* ThreadConverters() noexcept
{
    try
    {
        return &platform::ThreadObject<ConverterCache>();
    }
    catch (const std::bad_alloc&)
    {
        return nullptr;
    }
}

// A byte that neither EUC-JP nor EUC-KR defines: the pre-steps write it where the input is malformed, so that the
// converter reports it and substitutes U+FFFD at that place.
constexpr std::uint8_t kInvalidByte = 0xFF;
constexpr std::uint8_t kEscape = 0x1B;
constexpr std::uint8_t kShiftOut = 0x0E;
constexpr std::uint8_t kShiftIn = 0x0F;

bool IsGraphic94(std::uint8_t byte) noexcept
{
    return byte >= 0x21 && byte <= 0x7E;
}

bool StartsWith(ByteView bytes, std::size_t at, std::string_view sequence) noexcept
{
    if (sequence.size() > bytes.size() - at)
    {
        return false;
    }
    return std::equal(sequence.begin(), sequence.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at),
                      [](char expected, std::uint8_t actual) { return static_cast<std::uint8_t>(expected) == actual; });
}

enum class JisSet : std::uint8_t
{
    Ascii,
    Katakana,
    Kanji0208,
    Kanji0212,
};

// The length of the ISO 2022 Japanese designation at `at`, and the set it designates to G0; 0 if there is none.
std::size_t MatchJisDesignation(ByteView bytes, std::size_t at, JisSet& set) noexcept
{
    struct Designation
    {
        std::string_view sequence;
        JisSet set;
    };
    static constexpr std::array kDesignations{
        Designation{"\x1B(B", JisSet::Ascii},     Designation{"\x1B(J", JisSet::Ascii},
        Designation{"\x1B(I", JisSet::Katakana},  Designation{"\x1B$B", JisSet::Kanji0208},
        Designation{"\x1B$@", JisSet::Kanji0208}, Designation{"\x1B$(D", JisSet::Kanji0212},
    };
    for (const Designation& designation : kDesignations)
    {
        if (StartsWith(bytes, at, designation.sequence))
        {
            set = designation.set;
            return designation.sequence.size();
        }
    }
    return 0;
}

// A two-byte character of a 94 x 94 set written in GL (both bytes 21-7E) becomes its EUC form, both bytes with the
// top bit set; a first byte without its second is one invalid byte. Answers how many input bytes were taken.
std::size_t PutGraphicPairHigh(ByteView in, std::size_t i, std::vector<std::uint8_t>& out)
{
    if (i + 1 < in.size() && IsGraphic94(in[i + 1]))
    {
        out.push_back(static_cast<std::uint8_t>(in[i] | 0x80));
        out.push_back(static_cast<std::uint8_t>(in[i + 1] | 0x80));
        return 2;
    }
    out.push_back(kInvalidByte);
    return 1;
}

// ISO 2022 Japanese (as DICOM writes it, with half-width katakana in GR) to EUC-JP: JIS X 0208 pairs get the high
// bit, JIS X 0212 pairs are prefixed with SS3 (8F), katakana with SS2 (8E). At most two bytes out per byte in.
void JisToEucJp(ByteView in, std::vector<std::uint8_t>& out)
{
    out.clear();
    out.reserve(in.size() * 2);
    JisSet set = JisSet::Ascii;
    std::size_t i = 0;
    while (i < in.size())
    {
        const std::uint8_t byte = in[i];
        if (byte == kEscape)
        {
            const std::size_t length = MatchJisDesignation(in, i, set);
            if (length == 0)
            {
                out.push_back(kInvalidByte);
                ++i;
            }
            i += length;
            continue;
        }
        if (byte >= 0xA1 && byte <= 0xDF)
        {
            out.push_back(0x8E);
            out.push_back(byte);
            ++i;
            continue;
        }
        if (byte >= 0x80)
        {
            out.push_back(kInvalidByte);
            ++i;
            continue;
        }
        const bool isKanji = set == JisSet::Kanji0208 || set == JisSet::Kanji0212;
        if (isKanji && IsGraphic94(byte))
        {
            if (set == JisSet::Kanji0212 && i + 1 < in.size() && IsGraphic94(in[i + 1]))
            {
                out.push_back(0x8F);
            }
            i += PutGraphicPairHigh(in, i, out);
            continue;
        }
        if (set == JisSet::Katakana && byte >= 0x21 && byte <= 0x5F)
        {
            out.push_back(0x8E);
            out.push_back(static_cast<std::uint8_t>(byte | 0x80));
            ++i;
            continue;
        }
        // Spaces and controls keep their meaning in every set.
        out.push_back(byte);
        ++i;
    }
}

// ISO 2022 Korean to EUC-KR. DICOM's ISO 2022 IR 149 designates KS X 1001 to G1 and writes it in GR, without SO and
// SI; mail writes it in GL between SO and SI. Both come out as EUC-KR pairs.
void Iso2022KrToEucKr(ByteView in, std::vector<std::uint8_t>& out)
{
    out.clear();
    out.reserve(in.size());
    bool shifted = false;
    std::size_t i = 0;
    while (i < in.size())
    {
        const std::uint8_t byte = in[i];
        if (byte == kEscape)
        {
            if (StartsWith(in, i, "\x1B$)C"))
            {
                i += 4;
            }
            else
            {
                out.push_back(kInvalidByte);
                ++i;
            }
            continue;
        }
        if (byte == kShiftOut || byte == kShiftIn)
        {
            shifted = byte == kShiftOut;
            ++i;
            continue;
        }
        if (shifted && IsGraphic94(byte))
        {
            i += PutGraphicPairHigh(in, i, out);
            continue;
        }
        out.push_back(byte);
        ++i;
    }
}

constexpr auto kMaxIcuLength = static_cast<std::size_t>(std::numeric_limits<int32_t>::max());

// One decoding call; with `out` null only the length is computed. ucnv_toUChars resets the converter first, so
// no state leaks from one run of bytes into the next.
WideCount Decode(int codePage, ByteView bytes, char16_t* out, std::size_t capacity) noexcept
{
    if (codePage == kCodePageAnsi)
    {
        codePage = DefaultAnsiCodePage();
    }
    const std::size_t index = FindCodePage(codePage);
    if (bytes.empty() || bytes.size() > kMaxIcuLength || index == kNotFound)
    {
        return {0, kErrorInvalidParameter};
    }
    ConverterCache* const converters = ThreadConverters();
    if (converters == nullptr)
    {
        return {0, kErrorNotEnoughMemory};
    }
    ConverterCache& cache = *converters;
    UConverter* converter = cache.Get(index);
    if (converter == nullptr)
    {
        return {0, kErrorInvalidParameter};
    }
    ByteView input = bytes;
    if (kCodePages[index].preStep != PreStep::None)
    {
        try
        {
            if (kCodePages[index].preStep == PreStep::Iso2022Jp)
            {
                JisToEucJp(bytes, cache.scratch);
            }
            else
            {
                Iso2022KrToEucKr(bytes, cache.scratch);
            }
        }
        catch (const std::bad_alloc&)
        {
            return {0, kErrorNotEnoughMemory};
        }
        if (cache.scratch.empty() || cache.scratch.size() > kMaxIcuLength)
        {
            return {0, cache.scratch.empty() ? 0 : kErrorInvalidParameter};
        }
        input = cache.scratch;
    }

    UErrorCode status = U_ZERO_ERROR;
    const auto icuCapacity = static_cast<int32_t>(std::min(capacity, kMaxIcuLength));
    const int32_t length =
        ucnv_toUChars(converter, out, out == nullptr ? 0 : icuCapacity, reinterpret_cast<const char*>(input.data()),
                      static_cast<int32_t>(input.size()), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR && out == nullptr)
    {
        return {static_cast<std::size_t>(length), 0};
    }
    if (status == U_BUFFER_OVERFLOW_ERROR)
    {
        return {0, kErrorInsufficientBuffer};
    }
    if (U_FAILURE(status) || length < 0)
    {
        return {0, kErrorInvalidParameter};
    }
    return {static_cast<std::size_t>(length), 0};
}

std::atomic<int> explicitAnsiCodePage{0};

#if defined(_WIN32)
// The system's ANSI code page, where the table has it: the same conversions as on Linux, through the same ICU
// converters, whatever the system's own tables would make of the bytes.
int DetectLocaleCodePage() noexcept
{
    const int codePage = static_cast<int>(::GetACP());
    return FindCodePage(codePage) != kNotFound ? codePage : kCodePageWindows1252;
}
#else
int DetectLocaleCodePage() noexcept
{
    // newlocale reads LC_ALL, LC_CTYPE and LANG as setlocale(LC_CTYPE, "") would, without changing the locale of
    // the process.
    locale_t locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
    if (locale != static_cast<locale_t>(nullptr))
    {
        const char* codeset = nl_langinfo_l(CODESET, locale);
        const int codePage = CodePageForCodeset(codeset != nullptr ? codeset : "");
        freelocale(locale);
        return codePage;
    }
    // The environment names a locale that is not installed: take the character set from its name.
    const char* name = nullptr;
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"})
    {
        name = std::getenv(variable);
        if (name != nullptr && *name != '\0')
        {
            break;
        }
    }
    std::string_view locationName = name != nullptr ? name : "";
    const std::size_t dot = locationName.find('.');
    if (dot == std::string_view::npos)
    {
        return kCodePageWindows1252;
    }
    std::string_view codeset = locationName.substr(dot + 1);
    codeset = codeset.substr(0, codeset.find('@'));
    return CodePageForCodeset(codeset);
}
#endif

} // namespace

WideCount MultiByteToWide(int codePage, ByteView bytes, std::span<char16_t> out) noexcept
{
    // A non-null pointer even for an empty span, so that an empty buffer reads as "no room", not as "measure".
    static char16_t noRoom = 0;
    return Decode(codePage, bytes, out.empty() ? &noRoom : out.data(), out.size());
}

WideCount MeasureWide(int codePage, ByteView bytes) noexcept
{
    return Decode(codePage, bytes, nullptr, 0);
}

std::u16string DecodeCodePage(int codePage, ByteView bytes)
{
    if (bytes.empty())
    {
        return {};
    }
    if (codePage == kCodePageAnsi)
    {
        codePage = DefaultAnsiCodePage();
    }
    const WideCount size = MeasureWide(codePage, bytes);
    if (size.error == 0)
    {
        std::u16string text(size.units, u'\0');
        const WideCount written = MultiByteToWide(codePage, bytes, text);
        if (written.error == 0)
        {
            text.resize(written.units);
            return text;
        }
    }
    return std::u16string(bytes.begin(), bytes.end());
}

bool IsCodePageAvailable(int codePage) noexcept
{
    if (codePage == kCodePageAnsi)
    {
        codePage = DefaultAnsiCodePage();
    }
    const std::size_t index = FindCodePage(codePage);
    ConverterCache* const converters = ThreadConverters();
    return index != kNotFound && converters != nullptr && converters->Get(index) != nullptr;
}

int DefaultAnsiCodePage() noexcept
{
    const int explicitCodePage = explicitAnsiCodePage.load(std::memory_order_relaxed);
    if (explicitCodePage != kCodePageAnsi)
    {
        return explicitCodePage;
    }
    static const int localeCodePage = DetectLocaleCodePage();
    return localeCodePage;
}

void SetDefaultAnsiCodePage(int codePage) noexcept
{
    explicitAnsiCodePage.store(codePage, std::memory_order_relaxed);
}

int CodePageForCodeset(std::string_view codeset) noexcept
{
    std::array<char, 32> key{};
    std::size_t length = 0;
    for (const char c : codeset)
    {
        if (c == '-' || c == '_' || c == ' ')
        {
            continue;
        }
        if (length == key.size())
        {
            return kCodePageWindows1252;
        }
        key[length++] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    const std::string_view name(key.data(), length);

    struct Alias
    {
        std::string_view name;
        int codePage;
    };
    static constexpr std::array kAliases{
        Alias{"utf8", 65001},       Alias{"iso88591", 28591},   Alias{"iso88592", 28592},    Alias{"iso88593", 28593},
        Alias{"iso88594", 28594},   Alias{"iso88595", 28595},   Alias{"iso88596", 28596},    Alias{"iso88597", 28597},
        Alias{"iso88598", 28598},   Alias{"iso88599", 28599},   Alias{"iso885913", 28603},   Alias{"iso885915", 28605},
        Alias{"koi8r", 20866},      Alias{"koi8u", 21866},      Alias{"eucjp", 20932},       Alias{"ujis", 20932},
        Alias{"sjis", 932},         Alias{"shiftjis", 932},     Alias{"cp932", 932},         Alias{"windows31j", 932},
        Alias{"gb18030", 54936},    Alias{"gbk", 936},          Alias{"cp936", 936},         Alias{"gb2312", 936},
        Alias{"euccn", 936},        Alias{"big5", 950},         Alias{"big5hkscs", 950},     Alias{"cp950", 950},
        Alias{"euckr", 51949},      Alias{"cp949", 949},        Alias{"uhc", 949},           Alias{"tis620", 874},
        Alias{"iso885911", 874},    Alias{"eucjpms", 20932},    Alias{"shiftjisx0213", 932}, Alias{"cp874", 874},
        Alias{"cp1250", 1250},      Alias{"cp1251", 1251},      Alias{"cp1252", 1252},       Alias{"cp1253", 1253},
        Alias{"cp1254", 1254},      Alias{"cp1255", 1255},      Alias{"cp1256", 1256},       Alias{"cp1257", 1257},
        Alias{"cp1258", 1258},      Alias{"windows1250", 1250}, Alias{"windows1251", 1251},  Alias{"windows1252", 1252},
        Alias{"windows1253", 1253}, Alias{"windows1254", 1254}, Alias{"windows1255", 1255},  Alias{"windows1256", 1256},
        Alias{"windows1257", 1257}, Alias{"windows1258", 1258},
    };
    for (const Alias& alias : kAliases)
    {
        if (alias.name == name)
        {
            return alias.codePage;
        }
    }
    // ASCII ("ANSI_X3.4-1968" in the C and POSIX locales) and every name without a code page here.
    return kCodePageWindows1252;
}

} // namespace orblane

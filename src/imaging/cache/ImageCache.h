#pragma once

#include "dicom/FrameSource.h"
#include "imaging/CImageData.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace orblane {

// What the decoded pixels of one list may hold, when nothing else is said: 512 MB, or a quarter of the physical
// memory where that is less.
std::size_t DefaultImageCacheBytes() noexcept;
// The budget a list keeps to: DefaultImageCacheBytes() for 0, else the chosen bytes, but never more than half the
// memory the process may use (the machine's, or its control group's limit): a budget of a terabyte, which the
// settings file allows, would let paging a long study take all of it, and the kernel would end the viewer.
std::size_t ImageCacheBudget(std::size_t chosen) noexcept;

// One image of a study: where its frame lies, and what the cache holds of it.
struct CacheEntry
{
    enum class State : std::uint8_t
    {
        NotDecoded,
        Decoded,
        Dropped,
        Unshowable,
    };

    std::unique_ptr<CImageData> image;
    std::size_t bytes = 0;
    std::uint64_t lastUse = 0;
    std::int32_t file = 0;
    std::int32_t occurrence = 0;
    std::int32_t frame = 0;
    State state = State::NotDecoded;
    // The request that last queued its decode: a decode queued for an older one is cancelled unless it began, so
    // the entry is queued again when a newer page wants it.
    std::uint64_t queuedFor = 0;
};

// The images of one study and the decoded pixels they hold, within a budget: the owner's thread's alone, like the
// images themselves. Pixels beyond the budget are dropped least recently shown first, never those on screen.
class ImageCache
{
public:
    std::vector<CacheEntry> entries;

    void SetBudget(std::size_t bytes) noexcept { budget = bytes; }
    // An entry for every frame of a file's occurrences; false when memory ran out (the frames that found room
    // stay).
    bool AddFrames(int file, const std::vector<FrameSource>& occurrences) noexcept;
    std::size_t Bytes() const noexcept { return cachedBytes; }
    // The use clock: a newer use is a larger number.
    std::uint64_t Tick() noexcept { return ++useClock; }
    // Counts the entry's pixels as they are now.
    void Account(CacheEntry& entry) noexcept;
    // The entry holds no pixels any more.
    void Forget(CacheEntry& entry) noexcept
    {
        Uncount(entry.bytes);
        entry.bytes = 0;
    }
    // Pixels held outside the entries (frames decoded ahead that wait for their file's turn).
    void Count(std::size_t bytes) noexcept { cachedBytes += bytes; }
    void Uncount(std::size_t bytes) noexcept { cachedBytes -= std::min(cachedBytes, bytes); }
    // Set aside for decodes queued and not collected yet.
    void Reserve(std::size_t bytes) noexcept { aheadBytes += bytes; }
    void Release(std::size_t bytes) noexcept { aheadBytes -= std::min(aheadBytes, bytes); }
    void ClearReserved() noexcept { aheadBytes = 0; }
    // Drops pixels, least recently shown first, until what is held and set aside fits the budget with room to
    // spare; never those of the images on screen nor of `keep`.
    void Evict(int keep) noexcept;
    void SetOnScreen(int first, int count, int extra) noexcept;
    void SetAlsoOnScreen(std::vector<int> indices) noexcept { screenMore = std::move(indices); }
    bool HasPixels(int index) const noexcept;

private:
    bool OnScreen(int index) const noexcept;

    std::size_t budget = 0;
    std::size_t cachedBytes = 0;
    std::size_t aheadBytes = 0;
    std::uint64_t useClock = 0;
    int screenFirst = 0;
    int screenCount = 0;
    int screenExtra = -1;
    std::vector<int> screenMore;
};

} // namespace orblane

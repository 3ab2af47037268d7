#include "imaging/cache/ImageCache.h"

#include "platform/MemoryLimit.h"

#include <algorithm>
#include <new>
#include <utility>

namespace orblane {
namespace {

// An eviction drops pixels until the cache holds this share of its budget, so that the next few decodes do not each
// scan the list again.
constexpr std::size_t kEvictToPercent = 90;

} // namespace

std::size_t DefaultImageCacheBytes() noexcept
{
    constexpr std::size_t kDefault = std::size_t{512} << 20;
    const std::uint64_t quarter = platform::PhysicalMemoryBytes(4);
    if (quarter == 0)
    {
        return kDefault;
    }
    return static_cast<std::size_t>(std::min<std::uint64_t>(kDefault, quarter));
}

std::size_t ImageCacheBudget(std::size_t chosen) noexcept
{
    if (chosen == 0)
    {
        return DefaultImageCacheBytes();
    }
    const std::uint64_t usable = platform::UsableMemoryBytes();
    if (usable == 0)
    {
        return std::min(chosen, DefaultImageCacheBytes());
    }
    return static_cast<std::size_t>(std::min<std::uint64_t>(chosen, usable / 2));
}

bool ImageCache::AddFrames(int file, const std::vector<FrameSource>& occurrences) noexcept
{
    try
    {
        for (std::size_t o = 0; o < occurrences.size(); ++o)
        {
            const FrameSource& occurrence = occurrences[o];
            const std::int32_t frames = occurrence.description.frameCount;
            for (std::int32_t k = 0; k < frames; ++k)
            {
                CacheEntry entry;
                entry.file = file;
                entry.occurrence = static_cast<std::int32_t>(o);
                entry.frame = k;
                entries.push_back(std::move(entry));
            }
        }
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    return true;
}

void ImageCache::Account(CacheEntry& entry) noexcept
{
    cachedBytes -= std::min(cachedBytes, entry.bytes);
    entry.bytes = entry.image->PixelBytes();
    cachedBytes += entry.bytes;
}

bool ImageCache::OnScreen(int index) const noexcept
{
    return (index >= screenFirst && index - screenFirst < screenCount) || index == screenExtra ||
           std::find(screenMore.begin(), screenMore.end(), index) != screenMore.end();
}

void ImageCache::Evict(int keep) noexcept
{
    if (cachedBytes + aheadBytes <= budget)
    {
        return;
    }
    // The least recently shown first; the images on screen and the one just asked for never.
    std::vector<std::pair<std::uint64_t, int>> candidates;
    try
    {
        for (std::size_t k = 0; k < entries.size(); ++k)
        {
            const CacheEntry& entry = entries[k];
            const int index = static_cast<int>(k);
            if (entry.state == CacheEntry::State::Decoded && index != keep && !OnScreen(index))
            {
                candidates.emplace_back(entry.lastUse, index);
            }
        }
    }
    catch (const std::bad_alloc&)
    {
        // Short of memory for the list of candidates: the oldest of those found so far go.
    }
    std::sort(candidates.begin(), candidates.end());
    const std::size_t target = budget / 100 * kEvictToPercent;
    for (const auto& [use, index] : candidates)
    {
        if (cachedBytes + aheadBytes <= target)
        {
            break;
        }
        CacheEntry& entry = entries[static_cast<std::size_t>(index)];
        entry.image->DropPixels();
        entry.state = CacheEntry::State::Dropped;
        cachedBytes -= std::min(cachedBytes, entry.bytes);
        entry.bytes = 0;
    }
}

bool ImageCache::HasPixels(int index) const noexcept
{
    return index >= 0 && index < static_cast<int>(entries.size()) &&
           entries[static_cast<std::size_t>(index)].state == CacheEntry::State::Decoded;
}

void ImageCache::SetOnScreen(int first, int count, int extra) noexcept
{
    screenFirst = first;
    screenCount = std::max(0, count);
    screenExtra = extra;
    for (int index = first; index < first + screenCount && index < static_cast<int>(entries.size()); ++index)
    {
        if (index >= 0)
        {
            entries[static_cast<std::size_t>(index)].lastUse = ++useClock;
        }
    }
}

} // namespace orblane

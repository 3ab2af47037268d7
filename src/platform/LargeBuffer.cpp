#include "platform/LargeBuffer.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#define ORBLANE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORBLANE_ASAN 1
#endif
#endif
#if defined(ORBLANE_ASAN)
#include <sanitizer/asan_interface.h>
#endif

namespace orblane::platform {
namespace {

// A kept buffer is poisoned for AddressSanitizer, so that a read through a pointer that outlived its array is still
// reported although the memory was never freed.
void Poison([[maybe_unused]] void* data, [[maybe_unused]] std::size_t bytes) noexcept
{
#if defined(ORBLANE_ASAN)
    ASAN_POISON_MEMORY_REGION(data, bytes);
#endif
}

void Unpoison([[maybe_unused]] void* data, [[maybe_unused]] std::size_t bytes) noexcept
{
#if defined(ORBLANE_ASAN)
    ASAN_UNPOISON_MEMORY_REGION(data, bytes);
#endif
}

// Large buffers are mapped by themselves where the system allows it: freed, their pages go back to the system at
// once. From the allocator's heap they left holes between the images still cached (tens of megabytes over the
// threads' arenas after paging a large study). Under AddressSanitizer they stay with the allocator, whose guard
// zones around them catch a decoder writing past its buffer.
#if defined(__linux__) && !defined(ORBLANE_ASAN)
constexpr bool kMapsLargeBuffers = true;
#else
constexpr bool kMapsLargeBuffers = false;
#endif

void* Allocate(std::size_t& bytes) noexcept
{
    if (kMapsLargeBuffers && bytes >= kRecycledBufferMinBytes)
    {
#if defined(__linux__)
        constexpr std::size_t kPage = 4096;
        if (bytes > static_cast<std::size_t>(-1) - kPage)
        {
            return nullptr;
        }
        const std::size_t rounded = (bytes + kPage - 1) & ~(kPage - 1);
        void* data = ::mmap(nullptr, rounded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (data == MAP_FAILED)
        {
            return nullptr;
        }
        bytes = rounded;
#if defined(MADV_DONTFORK)
        // Decoded images are never read by a child process (a decode isolated from a library that may crash gets
        // its frame in shared memory): left out of its copy of the address space, a fork costs a millisecond
        // however many images the cache holds, not the 70 ms it took beside 300 MB of ordinary pages.
        ::madvise(data, rounded, MADV_DONTFORK);
#endif
        AdviseLargeBuffer(data, bytes);
        return data;
#endif
    }
    void* data = std::malloc(bytes == 0 ? 1 : bytes);
    AdviseLargeBuffer(data, bytes);
    return data;
}

void Free(void* data, std::size_t bytes) noexcept
{
    if (kMapsLargeBuffers && bytes >= kRecycledBufferMinBytes)
    {
#if defined(__linux__)
        ::munmap(data, bytes);
        return;
#endif
    }
    std::free(data);
}

struct KeptBuffer
{
    void* data;
    std::size_t bytes;
};

// Decoding threads allocate and release concurrently: one lock, held for a scan of a handful of entries.
struct Recycler
{
    std::mutex lock;
    std::vector<KeptBuffer> kept;
    std::size_t keptBytes = 0;
    std::size_t limit = std::size_t{64} << 20;

    // Frees the oldest kept buffers until `bytes` more fit under the limit; answers whether they do.
    bool MakeRoom(std::size_t bytes) noexcept
    {
        const auto fits = [&] { return keptBytes <= limit && limit - keptBytes >= bytes; };
        while (!kept.empty() && !fits())
        {
            FreeOldest();
        }
        return fits();
    }

    void FreeOldest() noexcept
    {
        keptBytes -= kept.front().bytes;
        Unpoison(kept.front().data, kept.front().bytes);
        Free(kept.front().data, kept.front().bytes);
        kept.erase(kept.begin());
    }
};

std::atomic<std::size_t> bytesInUse{0};

Recycler& TheRecycler() noexcept
{
    // Never destroyed: buffers may be released by objects that outlive static destruction order.
    static Recycler* recycler = new Recycler;
    return *recycler;
}

} // namespace

void AdviseLargeBuffer(void* data, std::size_t bytes) noexcept
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
    if (data == nullptr || bytes < 2 * kHugePage)
    {
        return;
    }
    // Only whole huge pages inside the buffer: madvise wants a page-aligned start.
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + kHugePage - 1) & ~(kHugePage - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(kHugePage - 1);
    if (end > begin)
    {
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    }
#else
    (void)data;
    (void)bytes;
#endif
}

void SetRecycledBufferLimit(std::size_t bytes) noexcept
{
    Recycler& r = TheRecycler();
    const std::lock_guard<std::mutex> hold(r.lock);
    r.limit = bytes;
    r.MakeRoom(0);
}

std::size_t RecycledBufferBytes() noexcept
{
    Recycler& r = TheRecycler();
    const std::lock_guard<std::mutex> hold(r.lock);
    return r.keptBytes;
}

std::size_t LargeBufferBytesInUse() noexcept
{
    return bytesInUse.load(std::memory_order_relaxed);
}

void* AcquireLargeBuffer(std::size_t& bytes) noexcept
{
    if (bytes >= kRecycledBufferMinBytes)
    {
        Recycler& r = TheRecycler();
        const std::lock_guard<std::mutex> hold(r.lock);
        // The smallest kept buffer that fits, and not one much larger: a bitmap must not pin a radiograph's buffer.
        auto best = r.kept.end();
        for (auto it = r.kept.begin(); it != r.kept.end(); ++it)
        {
            if (it->bytes >= bytes && it->bytes - bytes <= bytes / 8 &&
                (best == r.kept.end() || it->bytes < best->bytes))
            {
                best = it;
            }
        }
        if (best != r.kept.end())
        {
            void* data = best->data;
            bytes = best->bytes;
            r.keptBytes -= bytes;
            r.kept.erase(best);
            Unpoison(data, bytes);
            bytesInUse.fetch_add(bytes, std::memory_order_relaxed);
            return data;
        }
    }
    void* data = Allocate(bytes);
    if (data != nullptr)
    {
        bytesInUse.fetch_add(bytes, std::memory_order_relaxed);
    }
    return data;
}

void ReleaseLargeBuffer(void* data, std::size_t bytes) noexcept
{
    if (data == nullptr)
    {
        return;
    }
    bytesInUse.fetch_sub(bytes, std::memory_order_relaxed);
    if (bytes >= kRecycledBufferMinBytes)
    {
        Recycler& r = TheRecycler();
        const std::lock_guard<std::mutex> hold(r.lock);
        if (bytes <= r.limit && r.MakeRoom(bytes))
        {
            try
            {
                r.kept.push_back({data, bytes});
                r.keptBytes += bytes;
                Poison(data, bytes);
                return;
            }
            catch (const std::bad_alloc&)
            {
                // No room to note it: freed below like any buffer that is not kept.
            }
        }
    }
    Free(data, bytes);
}

} // namespace orblane::platform

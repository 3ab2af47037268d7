#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>

namespace orblane::platform {

// Asks the kernel to back a large, freshly allocated buffer with huge pages where it can. A radiograph's bitmap,
// values and decoded samples are some 50 MB that are written once, straight after allocation; with 4 KiB pages the
// first touch of each page costs a fault, and those faults cost more than decoding the image. A hint only: nothing
// changes where the kernel declines.
void AdviseLargeBuffer(void* data, std::size_t bytes) noexcept;

// Buffers from this size on are recycled: below it the allocator's own free lists already reuse memory, above it
// glibc hands out fresh mappings whose every page faults on first touch.
inline constexpr std::size_t kRecycledBufferMinBytes = std::size_t{256} << 10;

// How many bytes of released large buffers are kept for reuse (default 64 MiB): a page of a study frees buffers of
// exactly the sizes the next page asks for, so a kept buffer turns a page fault per 4 KiB into nothing. The bytes
// kept are memory the process holds; whoever budgets memory may lower the limit (0 keeps nothing).
void SetRecycledBufferLimit(std::size_t bytes) noexcept;
std::size_t RecycledBufferBytes() noexcept;
// The bytes of large buffers handed out and not released yet (kept buffers not counted): what decoded images hold.
std::size_t LargeBufferBytesInUse() noexcept;

// At least `bytes` of uninitialised memory, aligned for any scalar, from the kept buffers when one fits (it is at
// most an eighth larger), else freshly allocated and advised; null when none can be had. `bytes` becomes the
// buffer's real size, which ReleaseLargeBuffer must be given back. A buffer mapped by itself is not inherited by
// a child process (MADV_DONTFORK): what a child is to read goes into a SharedScratch (platform/ChildProcess.h).
void* AcquireLargeBuffer(std::size_t& bytes) noexcept;
// Keeps the buffer for reuse while the limit allows, else frees it. Null is ignored.
void ReleaseLargeBuffer(void* data, std::size_t bytes) noexcept;

template <typename T> struct LargeArrayRelease
{
    std::size_t bytes = 0;
    void operator()(T* data) const noexcept { ReleaseLargeBuffer(data, bytes); }
};

// An owned array of trivially copyable values in a recycled large buffer; its elements start unset.
template <typename T> using LargeArray = std::unique_ptr<T[], LargeArrayRelease<T>>;

// Null when the memory cannot be had (or count * sizeof(T) overflows); never throws.
template <typename T> LargeArray<T> MakeLargeArray(std::size_t count) noexcept
{
    static_assert(std::is_trivially_copyable_v<T> && alignof(T) <= alignof(std::max_align_t));
    if (count > static_cast<std::size_t>(-1) / sizeof(T))
    {
        return LargeArray<T>(nullptr, LargeArrayRelease<T>{});
    }
    std::size_t bytes = count == 0 ? sizeof(T) : count * sizeof(T);
    void* data = AcquireLargeBuffer(bytes);
    return LargeArray<T>(static_cast<T*>(data), LargeArrayRelease<T>{data != nullptr ? bytes : 0});
}

} // namespace orblane::platform

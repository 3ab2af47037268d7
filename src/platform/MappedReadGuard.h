#pragma once

#include "platform/Bytes.h"

#include <type_traits>

namespace orblane::platform {

// A mapped file can stop being readable while it is mapped: the disc is scratched (EIO), the USB stick is pulled out,
// or someone truncates the file. The next load from a lost page raises SIGBUS, which would end the process. Reads
// of a mapping are therefore made inside a guard: a SIGBUS whose fault address lies in the guarded region, on the
// thread that set the guard, ends the read and the guard answers Faulted. The file is then to be treated as
// unreadable: its values may be incomplete, and its mapping should be closed.
//
// Why a guard and not pread: the walk and the decoders read the mapping in place (zero-copy); reading through pread
// would copy every byte and give up the one view every value points into. The guard costs one sigsetjmp (a signal
// mask syscall) per guarded call, which is per file or per frame, never per byte.
//
// Rules for the callable, because a fault leaves it with siglongjmp and skips what it would have done next:
// - it must not own anything with a destructor that matters (a local std::vector would leak); state it changes
//   lives outside and is discarded (or known to stay consistent) when the answer is Faulted;
// - it must not hold a lock or be in the middle of an allocation while it loads from the mapping (loads that
//   copy mapped bytes into a growing container may leak that container's new block, nothing worse);
// - an exception it throws passes out of the guard as usual, and the guard is gone.
//
// Guards nest (a fault goes to the innermost guard whose region holds the address) and are per thread, so worker
// threads may each read their own mappings. The SIGBUS handler is installed on the first guard, chaining to the
// handler in place then (the viewer installs its fatal-signal report at start-up, before any file is read): a
// SIGBUS outside every guarded region goes to that handler, or ends the process as without the guard.
//
// Under AddressSanitizer the guard works while ASan leaves user SIGBUS handlers in place (its default,
// handle_sigbus=1); with handle_sigbus=2 ASan keeps SIGBUS to itself and a fault ends the process.
enum class MappedRead
{
    Completed,
    Faulted,
};

namespace detail {

MappedRead RunGuarded(ByteView region, void (*read)(void*), void* context);

} // namespace detail

// Runs read() with region guarded; answers Faulted when a load from the region raised SIGBUS.
template <class Read> MappedRead GuardMappedRead(ByteView region, Read&& read)
{
    using Callable = std::remove_reference_t<Read>;
    return detail::RunGuarded(
        region, [](void* context) { (*static_cast<Callable*>(context))(); },
        const_cast<void*>(static_cast<const void*>(&read)));
}

} // namespace orblane::platform

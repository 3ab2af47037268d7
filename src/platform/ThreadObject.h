#pragma once

#include <memory>

namespace orblane::platform {

// Runs destroy(object) when the calling thread ends.
void AtThreadExit(void (*destroy)(void*), void* object) noexcept;

// One T per thread, made on that thread's first call and destroyed when the thread ends. In place of a thread_local
// object with a destructor: MinGW's GCC frees a thread's emulated TLS block before it runs the destructors of the
// thread_local objects in it, so such a destructor reads freed memory (the ICU converters closed through stale
// pointers crashed the thread pool's workers). Only a trivial pointer lives in TLS here, and the destructor is handed
// the object itself. Throws what making T throws.
template <class T> T& ThreadObject()
{
    constinit thread_local T* object = nullptr;
    if (object == nullptr)
    {
        auto made = std::make_unique<T>();
        AtThreadExit([](void* p) { delete static_cast<T*>(p); }, made.get());
        object = made.release();
    }
    return *object;
}

} // namespace orblane::platform

#pragma once

#include <new>
#include <utility>

// An object built on first use and never destroyed, for a library's shared state: a call
// that another thread makes while the process exits or the library unloads meets the object
// intact instead of a destroyed one. It lives in static storage, not on the heap, so what
// it keeps is only what its owner has not emptied by then.
template <typename T> class CImmortal {
public:
    template <typename... Args> explicit CImmortal(Args&&... args) {
        ::new (m_storage) T(std::forward<Args>(args)...);
    }
    T& operator*() { return *std::launder(reinterpret_cast<T*>(m_storage)); }
    T* operator->() { return &**this; }

private:
    alignas(T) unsigned char m_storage[sizeof(T)];
};

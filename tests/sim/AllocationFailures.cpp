#include "AllocationFailures.h"

#include <cstdlib>
#include <new>

namespace {

thread_local int t_untilFailure = -1; // negative: never fail

void* Allocate(std::size_t size) {
    if (t_untilFailure == 0)
        throw std::bad_alloc();
    if (t_untilFailure > 0)
        --t_untilFailure;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

} // namespace

void FailAllocationsFrom(int n) {
    t_untilFailure = n;
}

void AllowAllocations() {
    t_untilFailure = -1;
}

void* operator new(std::size_t size) {
    return Allocate(size);
}
void* operator new[](std::size_t size) {
    return Allocate(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

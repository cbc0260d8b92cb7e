#pragma once

// The test process replaces the global operator new, so that it can make the allocations of
// the calling thread fail, its own and those of the libraries it loaded with dlopen.

// Makes the calling thread's allocations throw std::bad_alloc from the n-th on (0: the next).
void FailAllocationsFrom(int n);
void AllowAllocations();

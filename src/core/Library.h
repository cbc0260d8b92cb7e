#pragma once
// Loading a shared library at run time and finding its entry points by name.
namespace platform {

using LibraryHandle = void*;

// KeepMapped: the code stays mapped after the last FreeLibrary (RTLD_NODELETE), for a
// library whose threads or exit handlers may still run when it is released.
enum class LoadMode { Unmappable, KeepMapped };

// nullptr when the library cannot be loaded. A bare file name is looked for on the
// ordinary library search path (LD_LIBRARY_PATH, the cache, the system directories).
LibraryHandle LoadLibrary(const char* fileName, LoadMode mode = LoadMode::Unmappable);
// The loader's reason why the last LoadLibrary failed.
const char* LoadLibraryError();
// nullptr when the library has no such symbol.
void* GetProcAddress(LibraryHandle library, const char* name);
void FreeLibrary(LibraryHandle library);

// An entry point as a typed function pointer, or nullptr.
template <class Fn> Fn GetProc(LibraryHandle library, const char* name) {
    return reinterpret_cast<Fn>(GetProcAddress(library, name));
}

} // namespace platform

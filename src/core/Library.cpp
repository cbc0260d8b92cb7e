#include "core/Library.h"

#include <dlfcn.h>

namespace platform {

LibraryHandle LoadLibrary(const char* fileName, LoadMode mode) {
    return dlopen(fileName,
                  RTLD_NOW | RTLD_LOCAL | (mode == LoadMode::KeepMapped ? RTLD_NODELETE : 0));
}

const char* LoadLibraryError() {
    const char* reason = dlerror();
    return reason != nullptr ? reason : "unknown reason";
}

void* GetProcAddress(LibraryHandle library, const char* name) {
    return library != nullptr ? dlsym(library, name) : nullptr;
}

void FreeLibrary(LibraryHandle library) {
    if (library != nullptr) {
        dlclose(library);
    }
}

} // namespace platform

#include "visa/BenchCache.h"

#include "common/Immortal.h"

#include <sys/stat.h>

#include <memory>
#include <mutex>

namespace {

struct Cache {
    std::mutex mutex;
    std::string path;
    struct stat identity {};
    std::shared_ptr<const CBenchFile> bench;
};

Cache& TheCache() {
    static CImmortal<Cache> cache;
    return *cache;
}

struct ForgetAtUnload {
    ~ForgetAtUnload() { ForgetCachedBench(); }
} g_forgetAtUnload;

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

} // namespace

std::optional<CBenchFile> LoadBenchCached(const std::string& path) {
    struct stat before {};
    if (::stat(path.c_str(), &before) != 0)
        return std::nullopt;
    Cache& cache = TheCache();
    std::shared_ptr<const CBenchFile> kept;
    {
        std::lock_guard lock(cache.mutex);
        if (cache.bench && cache.path == path && SameFile(cache.identity, before))
            kept = cache.bench;
    }
    if (kept)
        return *kept;
    std::string error;
    std::optional<CBenchFile> bench = CBenchFile::Load(path, error);
    struct stat after {};
    // Kept only when the file did not change while it was read.
    if (bench && ::stat(path.c_str(), &after) == 0 && SameFile(before, after)) {
        auto shared = std::make_shared<const CBenchFile>(*bench);
        std::lock_guard lock(cache.mutex);
        cache.path = path;
        cache.identity = after;
        cache.bench = std::move(shared);
    }
    return bench;
}

void ForgetCachedBench() {
    Cache& cache = TheCache();
    std::lock_guard lock(cache.mutex);
    cache.bench.reset();
    cache.path.clear();
    cache.path.shrink_to_fit();
}

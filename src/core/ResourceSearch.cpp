#include "core/ResourceSearch.h"

#include <array>

namespace {
constexpr const char* kSearchExpression = "?*INSTR";
} // namespace

bool SearchResources(const visa::VisaEntryPoints& vi, visa::ViSession rm,
                     const std::function<void(const std::string& descriptor)>& each) {
    std::array<char, visa::kFindBufLen> descriptor{};
    visa::ViFindList list = 0;
    visa::ViUInt32 matches = 0;
    if (vi.findRsrc(rm, kSearchExpression, &list, &matches, descriptor.data()) < 0) {
        return false;
    }
    for (visa::ViUInt32 i = 0; i < matches; ++i) {
        // A list that ends before its count says has nothing more; a sound library never
        // gets here, a broken one must not keep the search spinning.
        if (i > 0 && vi.findNext(list, descriptor.data()) < 0) {
            break;
        }
        descriptor.back() = '\0';
        each(descriptor.data());
    }
    vi.close(list);
    return true;
}

std::optional<std::vector<std::string>> FindResources(const visa::VisaEntryPoints& vi,
                                                      visa::ViSession rm) {
    std::vector<std::string> found;
    if (!SearchResources(vi, rm,
                         [&](const std::string& descriptor) { found.push_back(descriptor); })) {
        return std::nullopt;
    }
    return found;
}

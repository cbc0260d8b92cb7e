#include "core/QuantityNames.h"

namespace {

// The blower number after one of the blower prefixes, 1 to the blower count.
std::optional<int> BlowerNumber(std::string_view name) {
    for (std::string_view prefix : {std::string_view("BLOWER"), std::string_view("BLOW")}) {
        if (name.size() != prefix.size() + 1 ||
            !SameLetters(name.substr(0, prefix.size()), prefix)) {
            continue;
        }
        const int number = name.back() - '0';
        if (number >= 1 && number <= ObjectCount(BLOWER)) {
            return number;
        }
    }
    return std::nullopt;
}

template <std::size_t N>
std::optional<int> IndexByName(const std::array<const char*, N>& names, std::string_view name) {
    for (std::size_t i = 0; i < N; ++i) {
        if (SameLetters(names[i], name)) {
            return static_cast<int>(i);
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<QuantityKind> KindByName(std::string_view name) {
    for (int kind = 0; kind < kQuantityKindCount; ++kind) {
        if (SameLetters(name, kQuantityKinds[kind].listKeyword) ||
            SameLetters(name, kQuantityKinds[kind].resetKeyword)) {
            return static_cast<QuantityKind>(kind);
        }
    }
    return std::nullopt;
}

std::optional<int> ObjectPositionByName(QuantityKind kind, std::string_view name) {
    switch (kind) {
    case BLOWER:
        return BlowerNumber(name);
    case TEMPERATURE:
        return IndexByName(kSensorNames, name);
    case CURRENT:
    case POWER:
    case VOLT:
        return IndexByName(kSupplyNames, name);
    }
    return std::nullopt;
}

std::string ObjectName(QuantityKind kind, int position) {
    if (kind == BLOWER) {
        return "BLOWER" + std::to_string(position);
    }
    return ResetObjectName(kind, position);
}

std::string ResetObjectName(QuantityKind kind, int position) {
    switch (kind) {
    case BLOWER:
        return kBlowerNames.at(static_cast<std::size_t>(position - 1));
    case TEMPERATURE:
        return kSensorNames.at(static_cast<std::size_t>(position));
    case CURRENT:
    case POWER:
    case VOLT:
        return kSupplyNames.at(static_cast<std::size_t>(position));
    }
    return {};
}

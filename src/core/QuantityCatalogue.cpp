#include "core/QuantityCatalogue.h"

#include <algorithm>

namespace {

template <std::size_t N>
std::optional<int> IndexOf(const std::array<const char*, N>& names, std::string_view name) {
    const auto it = std::find(names.begin(), names.end(), name);
    if (it == names.end()) {
        return std::nullopt;
    }
    return static_cast<int>(it - names.begin());
}

} // namespace

const QuantityKindInfo& KindInfo(int kind) {
    return kQuantityKinds[static_cast<std::size_t>(std::clamp(kind, 0, kQuantityKindCount - 1))];
}

int ObjectCount(QuantityKind kind) {
    switch (kind) {
    case BLOWER:
        return static_cast<int>(kBlowerNames.size());
    case TEMPERATURE:
        return static_cast<int>(kSensorNames.size());
    case CURRENT:
    case POWER:
    case VOLT:
        return static_cast<int>(kSupplyNames.size());
    }
    return 0;
}

std::optional<ObjectCode> ObjectCodeOf(QuantityKind kind, int position) {
    const int first = kind == BLOWER ? 1 : 0;
    if (kind < BLOWER || kind > VOLT || position < first || position >= first + ObjectCount(kind)) {
        return std::nullopt;
    }
    return KindInfo(kind).codeBase + position;
}

int ReadingValueCount(ObjectCode code) {
    return code >= 0 && code < kAmbientSensor ? 3 : 1;
}

ObjectCode ResetPairCode(std::string_view keyword, std::string_view name) {
    if (const auto blower = IndexOf(kBlowerNames, name)) {
        return KindInfo(BLOWER).codeBase + *blower + 1;
    }
    const auto supply = IndexOf(kSupplyNames, name);
    if (keyword == "CURRENT" && supply) {
        return KindInfo(CURRENT).codeBase + *supply;
    }
    if (keyword == "POWER" && supply) {
        return KindInfo(POWER).codeBase + *supply;
    }
    if (keyword == "Q") {
        return kHistoryQueueCode;
    }
    if (const auto sensor = IndexOf(kSensorNames, name); keyword == "TEMP" && sensor) {
        return *sensor;
    }
    if (keyword == "VOLT" && supply) {
        return KindInfo(VOLT).codeBase + *supply;
    }
    if (keyword == "ALL") {
        return kAllHistoriesCode;
    }
    return kNoObjectCode;
}

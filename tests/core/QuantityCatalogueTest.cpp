// The catalogue's codes, names and the translation of history-reset pairs.
#include "core/QuantityCatalogue.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>

// A kind's reset keyword or an object's name out of step with its code (a history reset
// that clears another object's history): every object of every kind, reset by its kind's
// keyword and its own name, is the object the catalogue gives that position.
TEST(QuantityCatalogue, ResetKeywordAndNameReachTheirOwnObject) {
    const auto name = [](int kind, int pos) -> const char* {
        switch (kind) {
        case BLOWER:
            return kBlowerNames[pos - 1];
        case TEMPERATURE:
            return kSensorNames[pos];
        default:
            return kSupplyNames[pos];
        }
    };
    int checked = 0;
    for (int kind = BLOWER; kind <= VOLT; ++kind) {
        for (int pos = 0; pos <= 27; ++pos) {
            if (const auto code = ObjectCodeOf(static_cast<QuantityKind>(kind), pos)) {
                EXPECT_EQ(ResetPairCode(KindInfo(kind).resetKeyword, name(kind, pos)), *code)
                    << KindInfo(kind).resetKeyword << " " << name(kind, pos);
                ++checked;
            }
        }
    }
    EXPECT_EQ(checked, 3 + 7 * 3 + 27);
}

TEST(QuantityCatalogue, CodesFollowTheBaseRule) {
    EXPECT_EQ(ObjectCodeOf(BLOWER, 1), std::optional<ObjectCode>(50));
    EXPECT_EQ(ObjectCodeOf(BLOWER, 3), std::optional<ObjectCode>(52));
    EXPECT_EQ(ObjectCodeOf(CURRENT, 6), std::optional<ObjectCode>(41));
    EXPECT_EQ(ObjectCodeOf(POWER, 6), std::optional<ObjectCode>(33));
    EXPECT_EQ(ObjectCodeOf(VOLT, 6), std::optional<ObjectCode>(48));
    EXPECT_EQ(ObjectCodeOf(TEMPERATURE, 26), std::optional<ObjectCode>(26));
    EXPECT_EQ(ObjectCodeOf(BLOWER, 0), std::nullopt);
    EXPECT_EQ(ObjectCodeOf(BLOWER, 4), std::nullopt);
    EXPECT_EQ(ObjectCodeOf(CURRENT, 7), std::nullopt);
    EXPECT_EQ(ObjectCodeOf(TEMPERATURE, -1), std::nullopt);
    EXPECT_EQ(ObjectCodeOf(static_cast<QuantityKind>(5), 0), std::nullopt);
}

TEST(QuantityCatalogue, CodesAreUniqueAndSkipTheGaps) {
    std::set<ObjectCode> codes;
    int count = 0;
    for (int kind = BLOWER; kind <= VOLT; ++kind) {
        for (int pos = -1; pos <= 28; ++pos) {
            if (const auto code = ObjectCodeOf(static_cast<QuantityKind>(kind), pos)) {
                codes.insert(*code);
                ++count;
            }
        }
    }
    EXPECT_EQ(count, 3 + 7 * 3 + 27);
    EXPECT_EQ(static_cast<int>(codes.size()), count);
    EXPECT_TRUE(!codes.count(34));
    EXPECT_TRUE(!codes.count(49));
    EXPECT_EQ(*codes.begin(), 0);
    EXPECT_EQ(*codes.rbegin(), 52);
}

TEST(QuantityCatalogue, ReadingValueCounts) {
    EXPECT_EQ(ReadingValueCount(0), 3);
    EXPECT_EQ(ReadingValueCount(25), 3);
    EXPECT_EQ(ReadingValueCount(26), 1);
    EXPECT_EQ(ReadingValueCount(41), 1);
    EXPECT_EQ(ReadingValueCount(-1), 1);
}

TEST(QuantityCatalogue, ResetPairs) {
    struct Case {
        const char* keyword;
        const char* name;
        int code;
    };
    const Case cases[] = {
        {"CURRENT", "N2", 41},
        {"POWER", "N2", 33},
        {"VOLT", "P5", 42},
        {"TEMP", "OUT3", 3},
        {"TEMP", "AMBIENT", 26},
        {"BLOWER", "BLOW1", 50},
        {"BLOWER", "BLOW3", 52},
        {"VOLT", "BLOW2", 51}, // blower names win over keywords
        {"Q", "", 53},
        {"Q", "P5", 53}, // queue ignores the name
        {"ALL", "", 54},
        {"BLOWER", "", 1000},
        {"TEMP", "Ambient", 1000}, // display spelling is not a name
        {"current", "N2", 1000},   // case matters
        {"VOLT", "OUT1", 1000},    // sensor under a supply keyword
        {"CURRENT", "N2 ", 1000},  // names compare whole
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ResetPairCode(c.keyword, c.name), c.code) << c.keyword << " " << c.name;
    }
}

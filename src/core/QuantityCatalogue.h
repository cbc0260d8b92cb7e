#pragma once
// The vocabulary of what the mainframe monitors: the five kinds of quantity, their
// keywords, units and titles, the fixed name lists of blowers, supplies and slot sensors,
// and the object code that names one object of one kind to the instrument.
#include <array>
#include <optional>
#include <string_view>

enum QuantityKind { BLOWER = 0, CURRENT = 1, POWER = 2, TEMPERATURE = 3, VOLT = 4 };
constexpr int kQuantityKindCount = 5;

// 0..54: one monitored object of one kind (34 and 49 name nothing), or a history target.
using ObjectCode = int;
constexpr ObjectCode kHistoryQueueCode = 53; // keyword "Q"
constexpr ObjectCode kAllHistoriesCode = 54; // keyword "ALL"
constexpr ObjectCode kNoObjectCode = 1000;   // a history-reset pair that names nothing

struct QuantityKindInfo {
    const char* listKeyword;  // as the histogram panel's type list shows it
    const char* resetKeyword; // as a history reset sends it
    const char* unit;
    const char* objectLabel; // caption of the histogram panel's object list
    const char* title;       // histogram title
    int codeBase;            // object code = codeBase + position
};

constexpr std::array<QuantityKindInfo, kQuantityKindCount> kQuantityKinds{{
    {"BLOWER", "BLOWER", "RPM", "Blower #", "Blower RPM histogram", 49},
    {"CURRENT", "CURRENT", "mA", "Supply: ", "Current Histogram", 35},
    {"POWER", "POWER", "mW", "Supply: ", "Power Histogram", 27},
    {"TEMPERATURE", "TEMP", ".1 deg. C", "Slot: ", "Temperature Histogram", 0},
    {"VOLT", "VOLT", "mV", "Supply: ", "Volt Histogram", 42},
}};

// The kind's entry; an out-of-range kind is clamped to the nearest one.
const QuantityKindInfo& KindInfo(int kind);

constexpr std::array<const char*, 3> kBlowerNames{"BLOW1", "BLOW2", "BLOW3"};
constexpr std::array<const char*, 7> kSupplyNames{"P5", "P12", "N12", "P24", "N24", "N5PT2", "N2"};
constexpr std::array<const char*, 27> kSensorNames{
    "OUT0",  "OUT1",  "OUT2",  "OUT3",  "OUT4",  "OUT5",   "OUT6",   "OUT7",   "OUT8",
    "OUT9",  "OUT10", "OUT11", "OUT12", "DELT0", "DELT1",  "DELT2",  "DELT3",  "DELT4",
    "DELT5", "DELT6", "DELT7", "DELT8", "DELT9", "DELT10", "DELT11", "DELT12", "AMBIENT"};
constexpr int kAmbientSensor = 26;
// The three values of a slot sensor's reading, in order.
constexpr std::array<const char*, 3> kReadingPositions{"front", "middle", "rear"};

// How many objects a kind has, and the code of (kind, position). Positions are the supply
// or sensor index, or for BLOWER the 1-based blower number. Out of range: no code.
int ObjectCount(QuantityKind kind);
std::optional<ObjectCode> ObjectCodeOf(QuantityKind kind, int position);

// A reading shows front, middle and rear for the slot sensors 0..25, one value otherwise.
int ReadingValueCount(ObjectCode code);

// The object code that a history-reset pair (keyword, object name) names, or
// kNoObjectCode. Both names are compared whole and case-sensitively; blower names are
// recognised whatever the keyword.
ObjectCode ResetPairCode(std::string_view keyword, std::string_view name);

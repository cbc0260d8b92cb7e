#pragma once

#include <string>

// What the mainframe knows of each object code: the kind, its name in the words of history
// resets ("TEMP OUT3", "VOLT P5", "BLOWER BLOW1"), its nominal value in the
// kind's unit (RPM, mA, mW, .1 deg C, mV; negative rails negative), the histogram's first bin
// and bin width, and the default limit.
struct SimObject {
    enum class Kind { Blower, Current, Power, Temperature, Volt };

    int code = -1;
    Kind kind = Kind::Temperature;
    std::string name;
    double nominal = 0.0;
    int binLow = 0;
    int binWidth = 1;
    double limit = 0.0;
};

class CCatalogue {
public:
    static constexpr int kObjectCodes = 53; // 0 to 52; 34 and 49 name nothing
    static constexpr int kQueueCode = 53;
    static constexpr int kAllCode = 54;
    static constexpr int kSupplies = 7;
    static constexpr int kSlots = 13;

    // The object of `code`, or nullptr for a code that names no object.
    static const SimObject* Find(int code);
    // Readings of slot outlet and rise sensors (codes 0 to 25) have three values.
    static bool HasThreeValues(int code) { return code >= 0 && code <= 25; }
    // The supply index of a power, current or voltage code.
    static int SupplyIndex(int code);

    static constexpr int kPowerBase = 27;
    static constexpr int kCurrentBase = 35;
    static constexpr int kVoltBase = 42;
    static constexpr int kBlowerBase = 49;
};

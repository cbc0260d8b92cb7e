#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One simulated instrument of a bench: what answers on one TCP port.
struct BenchInstrument {
    enum class Kind { Mainframe, Device, Silent };

    std::string name;
    Kind kind = Kind::Mainframe;
    uint16_t port = 0;              // 0: picked when the simulator starts
    uint32_t seed = 1;              // mainframe: makes its readings repeatable
    int blowers = 2;                // mainframe: blowers fitted, 1 to 3
    std::string serial = "SIM0001"; // mainframe: the serial number field of *IDN?
    int uptime = 0;                 // mainframe: hours it has run before the simulator starts
    std::string idn;                // device: its whole *IDN? reply
};

// One VISA resource of a bench and the instrument that answers it.
struct BenchResource {
    std::string name;   // canonical VISA resource name
    uint16_t intf = 0;  // VI_INTF_GPIB 1, VI_INTF_VXI 2, VI_INTF_GPIB_VXI 3, VI_INTF_ASRL 4
    uint16_t manf = 0;  // VXI manufacturer identification
    uint16_t model = 0; // VXI model code
    std::string instrument;
};

// The bench file: a line-based text naming instruments and resources (see docs/BENCH.md).
class CBenchFile {
public:
    std::vector<BenchInstrument> instruments;
    std::vector<BenchResource> resources;

    // Parses a whole file. On failure returns nothing and sets `error` to
    // "line N: what is wrong".
    static std::optional<CBenchFile> Parse(std::string_view text, std::string& error);
    static std::optional<CBenchFile> Load(const std::string& path, std::string& error);

    // The bench as text that Parse reads back to the same bench (ports included).
    std::string Write() const;

    const BenchInstrument* FindInstrument(std::string_view name) const;
    const BenchResource* FindResource(std::string_view canonicalName) const;
};

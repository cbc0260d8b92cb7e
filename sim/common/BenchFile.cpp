#include "common/BenchFile.h"

#include "common/ResourceName.h"

#include <cctype>
#include <charconv>
#include <fstream>
#include <sstream>
#include <unordered_set>

namespace {

// Limits against a hostile or mistaken file. The size bounds memory and parse time (the
// stand-in VISA library parses the file on every connect) and leaves room for the resolved
// bench of a full bench at the longest texts (about 3 MiB). Each instrument is a listening
// port, a descriptor and a mainframe's histories and warm-up in the simulator: 4,096 serve a
// site of 1,000 racks with room. Resources are bounded alike: the stand-in VISA library
// looks a name up among them one by one at each open and lists them all in a search.
constexpr size_t kMaxFileSize = 4 << 20;
constexpr size_t kMaxInstruments = 4096;
constexpr size_t kMaxResources = 4096;
constexpr size_t kMaxText = 255;
constexpr uint32_t kMaxUptimeHours = 10000;

// Splits one line into blank-separated words; a '"' starts a quoted run in which '\'
// escapes the next character; an unquoted '#' ends the line.
bool Tokenize(std::string_view line, std::vector<std::string>& words, std::string& error) {
    size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') {
            ++i;
            continue;
        }
        if (line[i] == '#')
            break;
        std::string word;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
            if (line[i] != '"') {
                word.push_back(line[i++]);
                continue;
            }
            for (++i; i < line.size() && line[i] != '"'; ++i) {
                if (line[i] == '\\' && i + 1 < line.size())
                    ++i;
                word.push_back(line[i]);
            }
            if (i >= line.size()) {
                error = "unterminated quote";
                return false;
            }
            ++i;
        }
        words.push_back(std::move(word));
    }
    return true;
}

template <typename T> bool ParseUnsigned(std::string_view text, T max, T& out) {
    uint64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty() || value > max)
        return false;
    out = static_cast<T>(value);
    return true;
}

bool ValidText(std::string_view text) {
    if (text.size() > kMaxText)
        return false;
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return false;
    }
    return true;
}

bool ValidName(std::string_view name) {
    if (name.empty() || name.size() > 32)
        return false;
    for (char c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-')
            return false;
    }
    return true;
}

bool SplitKeyValue(const std::string& word, std::string& key, std::string& value) {
    size_t eq = word.find('=');
    if (eq == std::string::npos || eq == 0)
        return false;
    key = word.substr(0, eq);
    value = word.substr(eq + 1);
    return true;
}

std::string InstrumentOption(BenchInstrument& inst, const std::string& key,
                             const std::string& value) {
    uint32_t number = 0;
    if (key == "port")
        return ParseUnsigned<uint16_t>(value, 65535, inst.port) ? "" : "bad port";
    if (key == "seed")
        return ParseUnsigned<uint32_t>(value, UINT32_MAX, inst.seed) ? "" : "bad seed";
    if (key == "blowers" && inst.kind == BenchInstrument::Kind::Mainframe) {
        if (!ParseUnsigned<uint32_t>(value, 3, number) || number == 0)
            return "blowers must be 1 to 3";
        inst.blowers = static_cast<int>(number);
        return "";
    }
    if (key == "uptime" && inst.kind == BenchInstrument::Kind::Mainframe) {
        if (!ParseUnsigned<uint32_t>(value, kMaxUptimeHours, number))
            return "uptime must be 0 to " + std::to_string(kMaxUptimeHours) + " hours";
        inst.uptime = static_cast<int>(number);
        return "";
    }
    if (key == "serial" && inst.kind == BenchInstrument::Kind::Mainframe) {
        if (!ValidText(value) || value.find(',') != std::string::npos)
            return "bad serial";
        inst.serial = value;
        return "";
    }
    if (key == "idn" && inst.kind == BenchInstrument::Kind::Device) {
        inst.idn = value;
        return ValidText(value) ? "" : "bad idn";
    }
    return "unknown option " + key;
}

// The names defined so far, so that a duplicate is found in constant time.
struct Seen {
    std::unordered_set<std::string> instruments;
    std::unordered_set<std::string> resources;
};

std::string ParseInstrument(const std::vector<std::string>& words, CBenchFile& bench, Seen& seen) {
    if (words.size() < 3)
        return "expected: instrument NAME mainframe|device|silent [key=value ...]";
    BenchInstrument inst;
    inst.name = words[1];
    if (!ValidName(inst.name))
        return "bad instrument name";
    if (seen.instruments.contains(inst.name))
        return "instrument " + inst.name + " defined twice";
    if (words[2] == "mainframe")
        inst.kind = BenchInstrument::Kind::Mainframe;
    else if (words[2] == "device")
        inst.kind = BenchInstrument::Kind::Device;
    else if (words[2] == "silent")
        inst.kind = BenchInstrument::Kind::Silent;
    else
        return "unknown instrument kind " + words[2];
    for (size_t i = 3; i < words.size(); ++i) {
        std::string key, value;
        if (!SplitKeyValue(words[i], key, value))
            return "expected key=value";
        if (std::string err = InstrumentOption(inst, key, value); !err.empty())
            return err;
    }
    if (bench.instruments.size() >= kMaxInstruments)
        return "too many instruments";
    seen.instruments.insert(inst.name);
    bench.instruments.push_back(std::move(inst));
    return "";
}

std::string ResourceOption(BenchResource& res, const std::string& key, const std::string& value) {
    if (key == "manf")
        return ParseUnsigned<uint16_t>(value, 65535, res.manf) ? "" : "bad manf";
    if (key == "model")
        return ParseUnsigned<uint16_t>(value, 65535, res.model) ? "" : "bad model";
    if (key == "intf") {
        static const char* const kNames[] = {"", "GPIB", "VXI", "GPIB-VXI", "ASRL"};
        for (uint16_t i = 1; i <= 4; ++i) {
            if (value == kNames[i]) {
                res.intf = i;
                return "";
            }
        }
        return "intf must be GPIB, VXI, GPIB-VXI or ASRL";
    }
    return "unknown option " + key;
}

std::string ParseResource(const std::vector<std::string>& words, CBenchFile& bench, Seen& seen) {
    if (words.size() < 3)
        return "expected: resource VISA-NAME INSTRUMENT [key=value ...]";
    std::optional<CResourceName> name = CResourceName::Parse(words[1]);
    if (!name)
        return "bad resource name " + words[1];
    BenchResource res;
    res.name = name->Canonical();
    res.intf = name->intf;
    res.instrument = words[2];
    if (seen.resources.contains(res.name))
        return "resource " + res.name + " defined twice";
    if (!seen.instruments.contains(res.instrument))
        return "unknown instrument " + res.instrument;
    for (size_t i = 3; i < words.size(); ++i) {
        std::string key, value;
        if (!SplitKeyValue(words[i], key, value))
            return "expected key=value";
        if (std::string err = ResourceOption(res, key, value); !err.empty())
            return err;
    }
    if (bench.resources.size() >= kMaxResources)
        return "too many resources";
    seen.resources.insert(res.name);
    bench.resources.push_back(std::move(res));
    return "";
}

std::string ParseLine(std::string_view line, CBenchFile& bench, Seen& seen) {
    std::vector<std::string> words;
    std::string error;
    if (!Tokenize(line, words, error))
        return error;
    if (words.empty())
        return "";
    if (words[0] == "instrument")
        return ParseInstrument(words, bench, seen);
    if (words[0] == "resource")
        return ParseResource(words, bench, seen);
    return "unknown keyword " + words[0];
}

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out.push_back('\\');
        out.push_back(c);
    }
    return out + "\"";
}

} // namespace

std::optional<CBenchFile> CBenchFile::Parse(std::string_view text, std::string& error) {
    if (text.size() > kMaxFileSize) {
        error = "bench file larger than 4 MiB";
        return std::nullopt;
    }
    CBenchFile bench;
    Seen seen;
    size_t lineNo = 0;
    while (!text.empty()) {
        ++lineNo;
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (std::string err = ParseLine(line, bench, seen); !err.empty()) {
            error = "line " + std::to_string(lineNo) + ": " + err;
            return std::nullopt;
        }
    }
    return bench;
}

std::optional<CBenchFile> CBenchFile::Load(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return std::nullopt;
    }
    // Read as far as the file goes, a little past the limit at most (Parse refuses that): a
    // buffer of the whole limit would cost every load of a small bench its 4 MiB.
    std::string text;
    char chunk[64 * 1024];
    while (in && text.size() <= kMaxFileSize) {
        in.read(chunk, sizeof chunk);
        text.append(chunk, static_cast<size_t>(in.gcount()));
    }
    return Parse(text, error);
}

std::string CBenchFile::Write() const {
    static const char* const kKinds[] = {"mainframe", "device", "silent"};
    static const char* const kIntf[] = {"", "GPIB", "VXI", "GPIB-VXI", "ASRL"};
    std::ostringstream out;
    for (const BenchInstrument& i : instruments) {
        out << "instrument " << i.name << ' ' << kKinds[static_cast<int>(i.kind)]
            << " port=" << i.port << " seed=" << i.seed;
        if (i.kind == BenchInstrument::Kind::Mainframe)
            out << " blowers=" << i.blowers << " uptime=" << i.uptime
                << " serial=" << Quoted(i.serial);
        if (i.kind == BenchInstrument::Kind::Device)
            out << " idn=" << Quoted(i.idn);
        out << '\n';
    }
    for (const BenchResource& r : resources) {
        out << "resource " << r.name << ' ' << r.instrument << " intf=" << kIntf[r.intf]
            << " manf=" << r.manf << " model=" << r.model << '\n';
    }
    return out.str();
}

const BenchInstrument* CBenchFile::FindInstrument(std::string_view name) const {
    for (const BenchInstrument& i : instruments) {
        if (i.name == name)
            return &i;
    }
    return nullptr;
}

const BenchResource* CBenchFile::FindResource(std::string_view canonicalName) const {
    for (const BenchResource& r : resources) {
        if (r.name == canonicalName)
            return &r;
    }
    return nullptr;
}

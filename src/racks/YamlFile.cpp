#include "racks/YamlFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>

namespace {

constexpr std::size_t kMaxFileBytes = 1 << 20; // configs, certificates and keys are small

// The bytes a UTF-8 sequence takes that begins with lead, and the range its second byte
// must lie in (no overlong forms, no surrogates, nothing above U+10FFFF); 0 when no
// sequence begins with lead.
struct Utf8Lead {
    std::size_t length;
    int low;
    int high;
};

Utf8Lead LeadOf(unsigned char lead) {
    if (lead < 0x80) {
        return {1, 0, 0};
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return {2, 0x80, 0xBF};
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return {3, lead == 0xE0 ? 0xA0 : 0x80, lead == 0xED ? 0x9F : 0xBF};
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return {4, lead == 0xF0 ? 0x90 : 0x80, lead == 0xF4 ? 0x8F : 0xBF};
    }
    return {0, 0, 0};
}

// The length of the well-formed UTF-8 that text begins with.
std::size_t Utf8Prefix(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const Utf8Lead lead = LeadOf(static_cast<unsigned char>(text[i]));
        if (lead.length == 0 || lead.length > text.size() - i) {
            return i;
        }
        for (std::size_t k = 1; k < lead.length; ++k) {
            const auto byte = static_cast<unsigned char>(text[i + k]);
            const bool fits =
                k == 1 ? byte >= lead.low && byte <= lead.high : (byte & 0xC0) == 0x80;
            if (!fits) {
                return i;
            }
        }
        i += lead.length;
    }
    return i;
}

// Nesting and nodes no configuration comes near; an alias can make a document cyclic, or
// far larger than its text, and is refused beyond them rather than followed.
constexpr int kMaxDepth = 64;
constexpr std::size_t kMaxNodes = 1 << 20;

// Refuses a key given twice in any map of the document.
void CheckUniqueKeys(const YAML::Node& node, const std::string& path, int depth,
                     std::size_t& nodes) {
    if (depth > kMaxDepth || ++nodes > kMaxNodes) {
        throw CConfigError{Place(path, node) + ": nested too deep, or too many nodes"};
    }
    if (node.IsSequence()) {
        for (const auto& item : node) {
            CheckUniqueKeys(item, path, depth + 1, nodes);
        }
    } else if (node.IsMap()) {
        std::set<std::string> keys;
        for (const auto& entry : node) {
            const std::string key = entry.first.IsScalar() ? entry.first.Scalar() : "";
            if (!keys.insert(key).second) {
                throw CConfigError{Place(path, entry.first) + ": key '" + key + "' given twice"};
            }
            CheckUniqueKeys(entry.second, path, depth + 1, nodes);
        }
    }
}

} // namespace

std::string Place(const std::string& path, const YAML::Node& node) {
    return path + ":" + std::to_string(node.Mark().line + 1);
}

namespace {

constexpr auto kReadTimeOut = std::chrono::seconds(5);
constexpr int kMaxHungReads = 4; // reads given up on that still block their thread

std::atomic<int> s_hungReads{0};

// One read on its own thread, which the reader may give up on.
struct PendingRead {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool abandoned = false;
    std::string text;
    std::string error; // empty when read
};

// The file's bytes: a regular file (a FIFO or device could block for ever or never end)
// of at most 1 MiB. Opened without blocking, so a FIFO is refused at once.
void ReadRegularFile(const std::string& path, PendingRead& read) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    struct stat status {};
    if (fd < 0 || ::fstat(fd, &status) != 0) {
        read.error = "cannot be read: " + std::string(std::strerror(errno));
    } else if (!S_ISREG(status.st_mode)) {
        read.error = "not a regular file";
    } else if (static_cast<std::uintmax_t>(status.st_size) > kMaxFileBytes) {
        read.error = "larger than 1 MiB";
    } else {
        read.text.resize(kMaxFileBytes + 1); // the file may have grown since
        std::size_t length = 0;
        while (length < read.text.size()) {
            const ssize_t got = ::read(fd, read.text.data() + length, read.text.size() - length);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                read.error = got < 0 ? "cannot be read: " + std::string(std::strerror(errno)) : "";
                break;
            }
            length += static_cast<std::size_t>(got);
        }
        read.text.resize(length);
        if (read.error.empty() && length > kMaxFileBytes) {
            read.error = "larger than 1 MiB";
        }
    }
    if (fd >= 0) {
        ::close(fd);
    }
}

} // namespace

std::string ReadSmallFile(const std::string& path) {
    if (s_hungReads >= kMaxHungReads) {
        throw CConfigError{path + ": not read: earlier reads of files still hang"};
    }
    auto read = std::make_shared<PendingRead>();
    try {
        std::thread([path, read] {
            try {
                ReadRegularFile(path, *read);
            } catch (const std::exception& error) {
                read->error = std::string("cannot be read: ") + error.what();
            }
            const std::lock_guard lock(read->mutex);
            read->finished = true;
            s_hungReads -= read->abandoned ? 1 : 0;
            read->done.notify_all();
        }).detach(); // a read that hangs (a hung network mount) keeps only its own thread
    } catch (const std::system_error& error) {
        throw CConfigError{path + ": cannot be read: no thread: " + error.what()};
    }
    std::unique_lock lock(read->mutex);
    if (!read->done.wait_for(lock, kReadTimeOut, [&read] { return read->finished; })) {
        read->abandoned = true;
        ++s_hungReads;
        throw CConfigError{path + ": not read within 5 s (a hung mount?)"};
    }
    if (!read->error.empty()) {
        throw CConfigError{path + ": " + read->error};
    }
    return std::move(read->text);
}

YAML::Node LoadYamlFile(const std::string& path) {
    const std::string text = ReadSmallFile(path);
    const std::size_t valid = Utf8Prefix(text);
    if (valid < text.size()) {
        const auto line =
            1 + std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(valid), '\n');
        throw CConfigError{path + ":" + std::to_string(line) + ": not UTF-8 text"};
    }
    YAML::Node node;
    try {
        node = YAML::Load(text);
    } catch (const YAML::Exception& error) {
        throw CConfigError{path + ": " + error.what()};
    }
    std::size_t nodes = 0;
    CheckUniqueKeys(node, path, 0, nodes);
    return node.IsNull() ? YAML::Node(YAML::NodeType::Map) : node;
}

void CheckKeys(const YAML::Node& node, std::initializer_list<std::string_view> allowed,
               const std::string& where, const std::string& path) {
    if (!node || node.IsNull()) {
        return;
    }
    if (!node.IsMap()) {
        throw CConfigError{where + ": a map was expected"};
    }
    for (const auto& entry : node) {
        const std::string key = entry.first.IsScalar() ? entry.first.Scalar() : "";
        if (std::find(allowed.begin(), allowed.end(), key) == allowed.end()) {
            const std::string at = path.empty() ? where : Place(path, entry.first);
            throw CConfigError{std::string(at).append(": unknown key '").append(key) + "'"};
        }
    }
}

std::string ScalarOr(const YAML::Node& node, const char* key, const std::string& fallback,
                     const std::string& where) {
    const YAML::Node value = node[key];
    if (!value || value.IsNull()) {
        return fallback;
    }
    if (!value.IsScalar()) {
        throw CConfigError{where + ": " + key + " must be a single value"};
    }
    return value.Scalar();
}

#pragma once
// A folder of files for one test, removed with everything in it when the test ends, and
// the certificates the TLS tests put in it.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

class CTempDir {
public:
    CTempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "exporter-unit-XXXXXX").string();
        m_path = ::mkdtemp(pattern.data()) != nullptr ? pattern : "";
    }
    ~CTempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    const std::string& Path() const { return m_path; }
    // Writes name with text; its whole path.
    std::string File(const std::string& name, const std::string& text) const {
        const std::string path = m_path + "/" + name;
        std::ofstream(path) << text;
        return path;
    }

private:
    std::string m_path;
};

// A self-signed certificate for 127.0.0.1 and its key, as dir/name.crt and dir/name.key;
// false when openssl made none.
inline bool SelfSigned(const std::string& dir, const std::string& name) {
    const std::string command =
        "cd '" + dir + "' && openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1" +
        " -nodes -days 1 -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout " + name +
        ".key -out " + name + ".crt 2>/dev/null";
    return std::system(command.c_str()) == 0;
}

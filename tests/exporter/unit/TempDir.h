#pragma once
// A folder of files for one unit test, removed with everything in it when the test ends.
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

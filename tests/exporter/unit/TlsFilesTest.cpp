// The web config's TLS files, checked by GnuTLS when the file is loaded.
#include "exporter/WebConfig.h"
#include "exporter/YamlFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

// Makes a self-signed certificate and key under dir with openssl; false when it cannot.
bool MakePair(const std::string& dir, const std::string& name) {
    const std::string command =
        "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=t -keyout '" + dir + "/" +
        name + ".key' -out '" + dir + "/" + name + ".crt' 2>/dev/null";
    return std::system(command.c_str()) == 0;
}

} // namespace

// A certificate or key GnuTLS cannot read, a key that belongs to another certificate, or
// a client CA file without a certificate accepted at load (so the server fails later with
// no word of which file), or a message that does not name the file.
TEST(WebConfig, TlsFilesAreCheckedAndNamed) {
    char pattern[] = "/tmp/webconfig-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    ASSERT_TRUE(MakePair(dir, "a") && MakePair(dir, "b"));
    std::ofstream(dir + "/junk.pem") << "not a certificate\n";
    const struct {
        std::string cert, key, ca;
        std::string complaint; // empty: loads
    } cases[]{
        {"a.crt", "a.key", "b.crt", ""},
        {"junk.pem", "a.key", "", "cert_file " + dir + "/junk.pem: "},
        {"a.crt", "junk.pem", "", "key_file " + dir + "/junk.pem: "},
        {"a.crt", "b.key", "", "cert_file " + dir + "/a.crt and key_file " + dir + "/b.key: "},
        {"a.crt", "a.key", "junk.pem", "client_ca_file " + dir + "/junk.pem: "},
    };
    for (const auto& c : cases) {
        const std::string path = dir + "/web.yml";
        std::ofstream(path) << "tls_server_config:\n  cert_file: " << c.cert
                            << "\n  key_file: " << c.key
                            << (c.ca.empty() ? "" : "\n  client_ca_file: " + c.ca) << "\n";
        try {
            const WebConfig web = LoadWebConfig(path);
            EXPECT_EQ(c.complaint, "") << c.cert << ' ' << c.key << ' ' << c.ca;
        } catch (const CConfigError& error) {
            EXPECT_NE(c.complaint, "") << error.message;
            EXPECT_EQ(error.message.rfind(c.complaint, 0), 0u) << error.message;
        }
    }
    std::filesystem::remove_all(dir);
}

// --web.config.file read strictly: what a good file gives, and the exact message of each
// mistake, naming the file and the place.
#include "exporter/WebConfig.h"
#include "TempDir.h"
#include "racks/YamlFile.h"

#include <gtest/gtest.h>

#include <fstream>

// A file name taken relative to the working folder instead of the file, a default that is
// not the documented one, a value table that maps a name to the wrong setting, a
// certificate or key GnuTLS cannot read (or a key of another certificate) accepted at load,
// or a mistake accepted or reported without its file and key.
TEST(WebConfig, GoodFilesGiveTheirSettingsAndBadOnesTheirMessage) {
    const CTempDir dir;
    // Real certificates and keys, for the loader checks them with GnuTLS.
    ASSERT_TRUE(SelfSigned(dir.Path(), "a") && SelfSigned(dir.Path(), "b"));
    const auto text = [&](const std::string& name) {
        std::ifstream in(dir.Path() + "/" + name);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string web =
        dir.File("web.yml", "tls_server_config:\n"
                            "  cert_file: a.crt\n"
                            "  key_file: " +
                                dir.Path() +
                                "/a.key\n"
                                "  client_auth_type: RequireAndVerifyClientCert\n"
                                "  client_ca_file: b.crt\n"
                                "  min_version: TLS13\n"
                                "basic_auth_users:\n"
                                "  alice: $2y$10$hash\n");
    const WebConfig config = LoadWebConfig(web);
    ASSERT_TRUE(config.tls);
    EXPECT_EQ(config.tls->certPem, text("a.crt"));
    EXPECT_EQ(config.tls->keyPem, text("a.key"));
    EXPECT_EQ(config.tls->clientCaPem, text("b.crt"));
    EXPECT_EQ(config.tls->clientAuth, ClientAuth::RequireAndVerify);
    EXPECT_EQ(config.tls->priorities, "NORMAL:-VERS-ALL:+VERS-TLS1.3");
    EXPECT_EQ(config.users, (std::map<std::string, std::string>{{"alice", "$2y$10$hash"}}));
    const std::string tls = "tls_server_config:\n  cert_file: a.crt\n  key_file: a.key\n";
    const WebConfig plain = LoadWebConfig(dir.File("tls-defaults.yml", tls));
    ASSERT_TRUE(plain.tls);
    EXPECT_EQ(plain.tls->clientAuth, ClientAuth::None);
    EXPECT_EQ(plain.tls->priorities, "NORMAL:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2");
    EXPECT_FALSE(LoadWebConfig(dir.File("empty.yml", "")).tls);

    const struct {
        std::string text;
        std::string message; // after the file's path
    } bad[]{
        {"tls_config: {}\n", ": unknown key 'tls_config'"},
        {"- a\n", ": a map was expected"},
        {"tls_server_config:\n  cert_file: a.crt\n",
         ": tls_server_config: cert_file and key_file are both needed"},
        {tls + "  client_auth_type: Sometimes\n",
         ": tls_server_config: client_auth_type: 'Sometimes' is not one of its values"},
        {tls + "  client_auth_type: RequireAnyClientCert\n",
         ": tls_server_config: asking for client certificates needs client_ca_file"},
        {tls + "  min_version: TLS14\n",
         ": tls_server_config: min_version: 'TLS14' is not one of its values"},
        {tls + "  min_version: [TLS12]\n",
         ": tls_server_config: min_version must be a single value"},
        {tls + "  cipher_suites: []\n", ": tls_server_config: unknown key 'cipher_suites'"},
        {"basic_auth_users: [alice]\n", ": basic_auth_users must map users to hashes"},
        {"basic_auth_users:\n  alice: [a, b]\n", ": basic_auth_users: each user maps to one hash"},
    };
    for (const auto& c : bad) {
        const std::string path = dir.File("bad.yml", c.text);
        try {
            LoadWebConfig(path);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const CConfigError& error) {
            EXPECT_EQ(error.message, path + c.message) << c.text;
        }
    }
    // Files that cannot be read or that GnuTLS refuses: the message starts with the file.
    const std::string junk = dir.File("junk.pem", "not a certificate\n");
    const auto files = [&](const std::string& cert, const std::string& key, const std::string& ca) {
        return dir.File(cert + key + ca + ".yml",
                        "tls_server_config:\n  cert_file: " + cert + "\n  key_file: " + key +
                            (ca.empty() ? "" : "\n  client_ca_file: " + ca) + "\n");
    };
    const struct {
        std::string path;
        std::string message;
    } unreadable[]{
        {dir.Path() + "/none.yml", dir.Path() + "/none.yml: cannot be read: "},
        {files("a.crt", "gone.pem", ""), dir.Path() + "/gone.pem: cannot be read: "},
        {files("junk.pem", "a.key", ""), "cert_file " + junk + ": "},
        {files("a.crt", "junk.pem", ""), "key_file " + junk + ": "},
        {files("a.crt", "b.key", ""),
         "cert_file " + dir.Path() + "/a.crt and key_file " + dir.Path() + "/b.key: "},
        {files("a.crt", "a.key", "junk.pem"), "client_ca_file " + junk + ": "},
    };
    for (const auto& c : unreadable) {
        try {
            LoadWebConfig(c.path);
            ADD_FAILURE() << "accepted: " << c.message;
        } catch (const std::exception& error) {    // as a worker catches it: by its text
            const std::string what = error.what(); // GnuTLS's reason follows ": "
            EXPECT_EQ(c.message.ends_with(": ") ? what.substr(0, c.message.size()) : what,
                      c.message);
        }
    }
}

// --web.config.file read strictly: what a good file gives, and the exact message of each
// mistake, naming the file and the place.
#include "exporter/WebConfig.h"
#include "TempDir.h"
#include "exporter/YamlFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

// A file name taken relative to the working folder instead of the file, a default that is
// not the documented one, a value table that maps a name to the wrong setting, or a
// mistake accepted or reported without its file and key.
TEST(WebConfig, GoodFilesGiveTheirSettingsAndBadOnesTheirMessage) {
    const CTempDir dir;
    // A real certificate and key, for the loader checks them with GnuTLS.
    ASSERT_EQ(std::system(("cd '" + dir.Path() +
                           "' && openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1"
                           " -nodes -days 1 -subj /CN=t -keyout key.pem -out cert.pem 2>/dev/null"
                           " && cp cert.pem ca.pem")
                              .c_str()),
              0);
    const auto text = [&](const std::string& name) {
        std::ifstream in(dir.Path() + "/" + name);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string web =
        dir.File("web.yml", "tls_server_config:\n"
                            "  cert_file: cert.pem\n"
                            "  key_file: " +
                                dir.Path() +
                                "/key.pem\n"
                                "  client_auth_type: RequireAndVerifyClientCert\n"
                                "  client_ca_file: ca.pem\n"
                                "  min_version: TLS13\n"
                                "basic_auth_users:\n"
                                "  alice: $2y$10$hash\n");
    const WebConfig config = LoadWebConfig(web);
    ASSERT_TRUE(config.tls);
    EXPECT_EQ(config.tls->certPem, text("cert.pem"));
    EXPECT_EQ(config.tls->keyPem, text("key.pem"));
    EXPECT_EQ(config.tls->clientCaPem, text("ca.pem"));
    EXPECT_EQ(config.tls->clientAuth, ClientAuth::RequireAndVerify);
    EXPECT_EQ(config.tls->priorities, "NORMAL:-VERS-ALL:+VERS-TLS1.3");
    EXPECT_EQ(config.users, (std::map<std::string, std::string>{{"alice", "$2y$10$hash"}}));
    const WebConfig plain = LoadWebConfig(dir.File("tls-defaults.yml", "tls_server_config:\n"
                                                                       "  cert_file: cert.pem\n"
                                                                       "  key_file: key.pem\n"));
    ASSERT_TRUE(plain.tls);
    EXPECT_EQ(plain.tls->clientAuth, ClientAuth::None);
    EXPECT_EQ(plain.tls->priorities, "NORMAL:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2");
    EXPECT_FALSE(LoadWebConfig(dir.File("empty.yml", "")).tls);

    const std::string tls = "tls_server_config:\n  cert_file: cert.pem\n  key_file: key.pem\n";
    const struct {
        std::string text;
        std::string message; // after the file's path
    } bad[]{
        {"tls_config: {}\n", ": unknown key 'tls_config'"},
        {"- a\n", ": a map was expected"},
        {"tls_server_config:\n  cert_file: cert.pem\n",
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
    const struct {
        std::string path;
        std::string message;
    } unreadable[]{
        {dir.Path() + "/none.yml", dir.Path() + "/none.yml: cannot be read"},
        {dir.File("no-key.yml",
                  "tls_server_config:\n  cert_file: cert.pem\n  key_file: gone.pem\n"),
         dir.Path() + "/gone.pem: cannot be read"},
    };
    for (const auto& c : unreadable) {
        try {
            LoadWebConfig(c.path);
            ADD_FAILURE() << "accepted: " << c.path;
        } catch (const std::exception& error) { // as a worker catches it: by its text
            EXPECT_EQ(error.what(), c.message);
        }
    }
}

// The TLS server's identity across reloads, and the client certificates it takes, with
// openssl's certificates and curl's handshakes on 127.0.0.1.
#include "ServerParts.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// A CA, a server certificate and client certificates with each extended key usage, made
// by openssl under dir.
bool MakeCertificates(const std::string& dir) {
    std::string script = "(cd '" + dir + "' && " +
                         "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 "
                         "-nodes -days 1 -subj /CN=ca -keyout ca.key -out ca.crt";
    for (const std::string name : {"server", "client", "plain", "serveronly"}) {
        const std::string usage = name == "client"       ? "extendedKeyUsage=clientAuth"
                                  : name == "serveronly" ? "extendedKeyUsage=serverAuth"
                                                         : "subjectAltName=IP:127.0.0.1";
        script += " && openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
                  "-subj /CN=" +
                  name + " -keyout " + name + ".key -out " + name +
                  ".csr"
                  " && printf '" +
                  usage + "\\n' > " + name +
                  ".ext"
                  " && openssl x509 -req -days 1 -CA ca.crt -CAkey ca.key -CAcreateserial -in " +
                  name + ".csr -extfile " + name + ".ext -out " + name + ".crt";
    }
    return std::system((script + ") >/dev/null 2>&1").c_str()) == 0;
}

} // namespace

// A reload that keeps the identity it replaced (3.6 KiB a reload, for ever), or that frees
// one a new handshake then uses; a client certificate meant for servers only taken as a
// client's, or one without an extended key usage refused.
TEST(TlsIdentity, ReloadsFreeOldIdentitiesAndClientsNeedTheClientPurpose) {
    const CTempDir dir;
    ASSERT_TRUE(MakeCertificates(dir.Path()));
    const WebConfig web = LoadWebConfig(dir.File(
        "web.yml", "tls_server_config:\n  cert_file: server.crt\n  key_file: server.key\n"
                   "  client_auth_type: RequireAndVerifyClientCert\n  client_ca_file: ca.crt\n"));
    ServerParts parts;
    CHttpServer server({"127.0.0.1:0", 4, 0.5, web.tls, nullptr}, parts.policy, parts.sessions,
                       parts.metrics, parts.auth, parts.log);
    const std::string port = server.Start().substr(10);
    const auto status = [&](const std::string& client) {
        const std::string command =
            "curl -s -o /dev/null -w '%{http_code}' --max-time 5 --cacert '" + dir.Path() +
            "/ca.crt' --cert '" + dir.Path() + "/" + client + ".crt' --key '" + dir.Path() + "/" +
            client + ".key' https://127.0.0.1:" + port + "/metrics > '" + dir.Path() + "/status'";
        std::system(command.c_str());
        std::ifstream in(dir.Path() + "/status");
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    EXPECT_EQ(status("client"), "200");
    for (int reload = 0; reload < 1000; ++reload) {
        server.SetWebConfig(web);
    }
    EXPECT_EQ(CTlsIdentity::Alive(), 1u);
    EXPECT_EQ(status("client"), "200");
    EXPECT_EQ(status("plain"), "200");
    EXPECT_EQ(status("serveronly"), "403");
}

// The TLS server's identity across reloads, and the client certificates it takes, with
// openssl's certificates and curl's handshakes on 127.0.0.1.
#include "ServerParts.h"
#include "TempDir.h"

#include <gtest/gtest.h>

// A reload that keeps the identity it replaced (3.6 KiB a reload, for ever), or frees one
// a new handshake then uses; a client certificate for servers only taken as a client's, or
// one without an extended key usage refused.
TEST(TlsIdentity, ReloadsFreeOldIdentitiesAndClientsNeedTheClientPurpose) {
    const CTempDir dir;
    std::string script =
        "cd '" + dir.Path() + "' && openssl req -x509 -newkey ec -pkeyopt " +
        "ec_paramgen_curve:prime256v1 -nodes -subj /CN=ca -keyout ca.key -out ca.crt";
    for (const std::string name : {"server", "client", "plain", "serveronly"}) {
        const std::string usage = name == "client"       ? "extendedKeyUsage=clientAuth"
                                  : name == "serveronly" ? "extendedKeyUsage=serverAuth"
                                                         : "subjectAltName=IP:127.0.0.1";
        script +=
            " && openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj /CN=" +
            name + " -keyout " + name + ".key -out " + name + ".csr && echo " + usage + " > " +
            name + ".ext && openssl x509 -req -CA ca.crt -CAkey ca.key -CAcreateserial -in " +
            name + ".csr -extfile " + name + ".ext -out " + name + ".crt";
    }
    ASSERT_EQ(std::system(("(" + script + ") >/dev/null 2>&1").c_str()), 0);
    const WebConfig web = LoadWebConfig(dir.File(
        "web.yml", "tls_server_config:\n  cert_file: server.crt\n  key_file: server.key\n"
                   "  client_auth_type: RequireAndVerifyClientCert\n  client_ca_file: ca.crt\n"));
    ServerOptions options = Loopback();
    options.tls = web.tls;
    TestServer served(std::move(options));
    CHttpServer& server = served.server;
    const std::string port = server.Start().substr(10);
    const auto status = [&](const std::string& client) {
        std::system(("cd '" + dir.Path() + "' && curl -s -o /dev/null -w '%{http_code}' -m 5 " +
                     "--cacert ca.crt --cert " + client + ".crt --key " + client +
                     ".key https://127.0.0.1:" + port + "/metrics > status")
                        .c_str());
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

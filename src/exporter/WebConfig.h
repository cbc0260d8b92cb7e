#pragma once
// --web.config.file in the format Prometheus's own exporters take: tls_server_config
// (cert_file, key_file, client_auth_type, client_ca_file, min_version) and
// basic_auth_users (user: bcrypt hash). File names are taken relative to the file itself.
#include <map>
#include <optional>
#include <string>

enum class ClientAuth { None, Request, RequireAny, VerifyIfGiven, RequireAndVerify };

struct TlsConfig {
    std::string certPem;
    std::string keyPem;
    ClientAuth clientAuth = ClientAuth::None;
    std::string clientCaPem; // empty without client_ca_file
    std::string priorities;  // the TLS versions allowed, as GnuTLS names them
};

struct WebConfig {
    std::optional<TlsConfig> tls;
    std::map<std::string, std::string> users; // user -> bcrypt hash
};

// Reads and checks the file, the certificate, key and client CA files included (that
// GnuTLS reads them and that the key pairs with the certificate); throws CConfigError.
WebConfig LoadWebConfig(const std::string& path);

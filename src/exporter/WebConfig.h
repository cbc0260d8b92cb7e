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

// A service's LoadCredential= lines: each credential's name and the file it is read from.
using Credentials = std::map<std::string, std::string>;

// Reads and checks the file, the certificate, key and client CA files included (that
// GnuTLS reads them and that the key pairs with the certificate); throws CConfigError.
// With credentials, a file (this one or one it names) whose name is a credential's is
// read from where the credential comes from, as the service would find it.
WebConfig LoadWebConfig(const std::string& path, const Credentials& credentials = {});
// The LoadCredential=NAME:PATH lines of a systemd unit or drop-in; throws CConfigError.
Credentials LoadCredentials(const std::string& dropIn);

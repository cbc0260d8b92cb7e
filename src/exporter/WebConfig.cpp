#include "exporter/WebConfig.h"

#include "exporter/NameTable.h"
#include "exporter/TlsIdentity.h"
#include "racks/YamlFile.h"

#include <gnutls/gnutls.h>

#include <array>
#include <filesystem>
#include <sstream>
#include <utility>

namespace {

constexpr std::array<std::pair<const char*, ClientAuth>, 5> kClientAuthTypes{{
    {"NoClientCert", ClientAuth::None},
    {"RequestClientCert", ClientAuth::Request},
    {"RequireAnyClientCert", ClientAuth::RequireAny},
    {"VerifyClientCertIfGiven", ClientAuth::VerifyIfGiven},
    {"RequireAndVerifyClientCert", ClientAuth::RequireAndVerify},
}};

// The lowest version allowed and every one above it.
constexpr std::array<std::pair<const char*, const char*>, 4> kMinVersions{{
    {"TLS10", "NORMAL:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2:+VERS-TLS1.1:+VERS-TLS1.0"},
    {"TLS11", "NORMAL:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2:+VERS-TLS1.1"},
    {"TLS12", "NORMAL:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2"},
    {"TLS13", "NORMAL:-VERS-ALL:+VERS-TLS1.3"},
}};

// The value a name in the file stands for; where: the file and key, for the message.
template <typename Table>
auto Named(const Table& table, const std::string& name, const std::string& where) {
    if (const auto value = ByName(table, name)) {
        return *value;
    }
    throw CConfigError{where + ": '" + name + "' is not one of its values"};
}

// Where a file is read from: a credential's source when its name is a credential's.
std::string Source(const std::string& file, const Credentials& credentials) {
    const auto found = credentials.find(std::filesystem::path(file).filename().string());
    return found != credentials.end() ? found->second : file;
}

std::string FileBeside(const std::string& config, const std::string& file,
                       const Credentials& credentials) {
    const std::filesystem::path path(file);
    return Source(
        path.is_absolute() ? file : (std::filesystem::path(config).parent_path() / path).string(),
        credentials);
}

gnutls_datum_t Datum(const std::string& text) {
    return {reinterpret_cast<unsigned char*>(const_cast<char*>(text.data())),
            static_cast<unsigned>(text.size())};
}

// The certificate, the key, that they pair, and the client CA file, as GnuTLS reads them;
// a failure names the file and GnuTLS's reason.
void CheckTlsFiles(const TlsConfig& tls, const std::string& cert, const std::string& key,
                   const std::string& ca) {
    const CTlsIdentity identity(tls.certPem, tls.keyPem, "cert_file " + cert, "key_file " + key);
    gnutls_certificate_credentials_t credentials = nullptr;
    if (gnutls_certificate_allocate_credentials(&credentials) < 0) {
        throw CConfigError{"no memory for the TLS credentials"};
    }
    const gnutls_datum_t certPem = Datum(tls.certPem);
    const gnutls_datum_t keyPem = Datum(tls.keyPem);
    const int paired = gnutls_certificate_set_x509_key_mem2(credentials, &certPem, &keyPem,
                                                            GNUTLS_X509_FMT_PEM, nullptr, 0);
    const gnutls_datum_t caPem = Datum(tls.clientCaPem);
    const int authorities =
        tls.clientCaPem.empty()
            ? 1
            : gnutls_certificate_set_x509_trust_mem(credentials, &caPem, GNUTLS_X509_FMT_PEM);
    gnutls_certificate_free_credentials(credentials);
    if (paired < 0) {
        throw CConfigError{"cert_file " + cert + " and key_file " + key + ": " +
                           gnutls_strerror(paired)};
    }
    if (authorities <= 0) {
        throw CConfigError{
            "client_ca_file " + ca + ": " +
            (authorities < 0 ? gnutls_strerror(authorities) : "holds no certificate")};
    }
}

TlsConfig TlsFrom(const YAML::Node& node, const std::string& path, const Credentials& credentials) {
    const std::string where = path + ": tls_server_config";
    CheckKeys(node, {"cert_file", "key_file", "client_auth_type", "client_ca_file", "min_version"},
              where);
    const std::string cert = ScalarOr(node, "cert_file", "", where);
    const std::string key = ScalarOr(node, "key_file", "", where);
    if (cert.empty() || key.empty()) {
        throw CConfigError{where + ": cert_file and key_file are both needed"};
    }
    TlsConfig tls;
    tls.certPem = ReadSmallFile(FileBeside(path, cert, credentials));
    tls.keyPem = ReadSmallFile(FileBeside(path, key, credentials));
    tls.clientAuth =
        Named(kClientAuthTypes, ScalarOr(node, "client_auth_type", "NoClientCert", where),
              where + ": client_auth_type");
    const std::string ca = ScalarOr(node, "client_ca_file", "", where);
    if (!ca.empty()) {
        tls.clientCaPem = ReadSmallFile(FileBeside(path, ca, credentials));
    }
    // The server asks for a client certificate only when it has authorities to check it by.
    if (tls.clientAuth != ClientAuth::None && tls.clientCaPem.empty()) {
        throw CConfigError{where + ": asking for client certificates needs client_ca_file"};
    }
    tls.priorities =
        Named(kMinVersions, ScalarOr(node, "min_version", "TLS12", where), where + ": min_version");
    CheckTlsFiles(tls, FileBeside(path, cert, credentials), FileBeside(path, key, credentials),
                  FileBeside(path, ca, credentials));
    return tls;
}

} // namespace

WebConfig LoadWebConfig(const std::string& file, const Credentials& credentials) {
    const std::string path = Source(file, credentials);
    const YAML::Node root = LoadYamlFile(path);
    CheckKeys(root, {"tls_server_config", "basic_auth_users"}, path);
    WebConfig config;
    if (const YAML::Node tls = root["tls_server_config"]; tls && !tls.IsNull()) {
        config.tls = TlsFrom(tls, path, credentials);
    }
    const YAML::Node users = root["basic_auth_users"];
    if (!users || users.IsNull()) {
        return config;
    }
    if (!users.IsMap()) {
        throw CConfigError{path + ": basic_auth_users must map users to hashes"};
    }
    for (const auto& entry : users) {
        if (!entry.first.IsScalar() || !entry.second.IsScalar()) {
            throw CConfigError{path + ": basic_auth_users: each user maps to one hash"};
        }
        config.users[entry.first.Scalar()] = entry.second.Scalar();
    }
    return config;
}

Credentials LoadCredentials(const std::string& dropIn) {
    Credentials credentials;
    std::istringstream lines(ReadSmallFile(dropIn));
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        const std::string key = "LoadCredential=";
        if (line.rfind(key, 0) != 0) {
            continue;
        }
        const std::string value = line.substr(key.size());
        const std::size_t colon = value.find(':');
        if (colon == 0 || colon == std::string::npos || value[colon + 1] != '/') {
            throw CConfigError{dropIn + ":" + std::to_string(number) +
                               ": LoadCredential= takes NAME:/ABSOLUTE/PATH"};
        }
        credentials[value.substr(0, colon)] = value.substr(colon + 1);
    }
    return credentials;
}

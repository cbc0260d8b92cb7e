#include "exporter/TlsIdentity.h"

#include "exporter/YamlFile.h"

namespace {

constexpr unsigned kMaxChain = 16;

gnutls_datum_t Datum(const std::string& text) {
    return {reinterpret_cast<unsigned char*>(const_cast<char*>(text.data())),
            static_cast<unsigned>(text.size())};
}

} // namespace

CTlsIdentity::CTlsIdentity(const std::string& certPem, const std::string& keyPem,
                           const std::string& certName, const std::string& keyName) {
    m_chain.resize(kMaxChain);
    unsigned count = kMaxChain;
    const gnutls_datum_t cert = Datum(certPem);
    int status =
        gnutls_pcert_list_import_x509_raw(m_chain.data(), &count, &cert, GNUTLS_X509_FMT_PEM, 0);
    if (status < 0 || count == 0) {
        m_chain.clear();
        throw CConfigError{certName + ": " +
                           (status < 0 ? gnutls_strerror(status) : "holds no certificate")};
    }
    m_chain.resize(count);
    const gnutls_datum_t key = Datum(keyPem);
    status = gnutls_privkey_init(&m_key);
    if (status >= 0) {
        status = gnutls_privkey_import_x509_raw(m_key, &key, GNUTLS_X509_FMT_PEM, nullptr, 0);
    }
    if (status < 0) {
        const std::string reason = gnutls_strerror(status);
        Release();
        throw CConfigError{keyName + ": " + reason};
    }
}

CTlsIdentity::~CTlsIdentity() {
    Release();
}

void CTlsIdentity::Release() {
    for (gnutls_pcert_st& cert : m_chain) {
        gnutls_pcert_deinit(&cert);
    }
    m_chain.clear();
    if (m_key != nullptr) {
        gnutls_privkey_deinit(m_key);
        m_key = nullptr;
    }
}

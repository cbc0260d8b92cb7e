#include "exporter/TlsIdentity.h"

#include "exporter/ExporterError.h"

#include <mutex>
#include <utility>

namespace {

constexpr unsigned kMaxChain = 16;

// GnuTLS's certificate callback has no argument of its own, so the one TLS server of the
// process publishes its identity here.
std::mutex g_offeredMutex;
std::shared_ptr<const CTlsIdentity> g_offered;

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
    status = gnutls_x509_privkey_init(&m_key);
    if (status >= 0) {
        status = gnutls_x509_privkey_import2(m_key, &key, GNUTLS_X509_FMT_PEM, nullptr, 0);
    }
    if (status < 0) {
        const std::string reason = gnutls_strerror(status);
        Release();
        throw CConfigError{keyName + ": " + reason};
    }
    ++s_alive;
}

CTlsIdentity::~CTlsIdentity() {
    Release();
    --s_alive;
}

void CTlsIdentity::Offer(std::shared_ptr<const CTlsIdentity> identity) {
    std::shared_ptr<const CTlsIdentity> replaced;
    const std::lock_guard lock(g_offeredMutex);
    replaced = std::exchange(g_offered, std::move(identity)); // freed after the lock
}

int CTlsIdentity::Retrieve(gnutls_session_t, const gnutls_cert_retr_st*, gnutls_pcert_st** chain,
                           unsigned* length, gnutls_ocsp_data_st** ocsp, unsigned* ocspLength,
                           gnutls_privkey_t* key, unsigned* flags) {
    std::shared_ptr<const CTlsIdentity> identity;
    {
        const std::lock_guard lock(g_offeredMutex);
        identity = g_offered;
    }
    *ocsp = nullptr;
    *ocspLength = 0;
    *flags = GNUTLS_CERT_RETR_DEINIT_ALL; // GnuTLS frees the copy with the session
    return identity ? identity->Copy(chain, length, key) : -1;
}

// A copy GnuTLS owns: the chain's array from gnutls_malloc, as it frees it with gnutls_free.
int CTlsIdentity::Copy(gnutls_pcert_st** chain, unsigned* length, gnutls_privkey_t* key) const {
    auto* copy =
        static_cast<gnutls_pcert_st*>(gnutls_calloc(m_chain.size(), sizeof(gnutls_pcert_st)));
    gnutls_privkey_t keyCopy = nullptr;
    int status = copy != nullptr ? gnutls_privkey_init(&keyCopy) : GNUTLS_E_MEMORY_ERROR;
    if (status >= 0) {
        status = gnutls_privkey_import_x509(keyCopy, m_key, GNUTLS_PRIVKEY_IMPORT_COPY);
    }
    unsigned made = 0;
    for (; status >= 0 && made < m_chain.size(); ++made) {
        status =
            gnutls_pcert_import_x509_raw(&copy[made], &m_chain[made].cert, GNUTLS_X509_FMT_DER, 0);
    }
    if (status < 0) {
        for (unsigned i = 0; i + 1 < made; ++i) { // the last one tried was not made
            gnutls_pcert_deinit(&copy[i]);
        }
        gnutls_free(copy);
        if (keyCopy != nullptr) {
            gnutls_privkey_deinit(keyCopy);
        }
        return -1;
    }
    *chain = copy;
    *length = made;
    *key = keyCopy;
    return 0;
}

void CTlsIdentity::Release() {
    for (gnutls_pcert_st& cert : m_chain) {
        gnutls_pcert_deinit(&cert);
    }
    m_chain.clear();
    if (m_key != nullptr) {
        gnutls_x509_privkey_deinit(m_key);
        m_key = nullptr;
    }
}

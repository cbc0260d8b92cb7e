#pragma once
// The server's certificate chain and private key in the form GnuTLS hands to a handshake,
// built from PEM text. The HTTP server offers the identity current at each handshake, so
// a reloaded certificate serves new connections while older ones keep theirs.
#include <gnutls/abstract.h>
#include <gnutls/gnutls.h>

#include <string>
#include <vector>

class CTlsIdentity {
public:
    // Throws CConfigError naming certName or keyName with GnuTLS's reason.
    CTlsIdentity(const std::string& certPem, const std::string& keyPem,
                 const std::string& certName = "cert_file",
                 const std::string& keyName = "key_file");
    ~CTlsIdentity();
    CTlsIdentity(const CTlsIdentity&) = delete;
    CTlsIdentity& operator=(const CTlsIdentity&) = delete;

    // For gnutls_certificate_retrieve_function2: the chain and the key.
    gnutls_pcert_st* Chain() { return m_chain.data(); }
    unsigned ChainLength() const { return static_cast<unsigned>(m_chain.size()); }
    gnutls_privkey_t Key() const { return m_key; }

private:
    void Release();

    std::vector<gnutls_pcert_st> m_chain;
    gnutls_privkey_t m_key = nullptr;
};

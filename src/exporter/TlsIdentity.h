#pragma once
// The server's certificate chain and private key, built from PEM text. The identity offered
// last serves new handshakes; each handshake gets its own copy, which GnuTLS frees with the
// session, so an identity replaced by a reload is freed as soon as no copy is being made.
#include <gnutls/abstract.h>
#include <gnutls/gnutls.h>

#include <atomic>
#include <memory>
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

    // The identity new handshakes get from Retrieve; nullptr: none (they fail).
    static void Offer(std::shared_ptr<const CTlsIdentity> identity);
    // GnuTLS's certificate callback (libmicrohttpd's MHD_OPTION_HTTPS_CERT_CALLBACK2).
    static int Retrieve(gnutls_session_t, const gnutls_cert_retr_st*, gnutls_pcert_st** chain,
                        unsigned* length, gnutls_ocsp_data_st** ocsp, unsigned* ocspLength,
                        gnutls_privkey_t* key, unsigned* flags);
    // Identities alive in the process: what a reload frees shows here.
    static std::size_t Alive() { return s_alive.load(); }

private:
    void Release();
    int Copy(gnutls_pcert_st** chain, unsigned* length, gnutls_privkey_t* key) const;

    static inline std::atomic<std::size_t> s_alive{0};
    std::vector<gnutls_pcert_st> m_chain;
    gnutls_x509_privkey_t m_key = nullptr;
};

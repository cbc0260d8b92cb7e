#include "exporter/HttpTls.h"

#include <microhttpd.h>

#include <atomic>

namespace {

std::atomic<CTlsIdentity*> g_identity{nullptr};

bool PeerVerified(gnutls_session_t session) {
    unsigned status = 0;
    return gnutls_certificate_verify_peers2(session, &status) == GNUTLS_E_SUCCESS && status == 0;
}

} // namespace

void OfferTlsIdentity(CTlsIdentity* identity) {
    g_identity = identity;
}

void WithdrawTlsIdentity(CTlsIdentity* identity) {
    g_identity.compare_exchange_strong(identity, nullptr);
}

int OfferedCertificate(gnutls_session_t, const gnutls_datum_t*, int, const gnutls_pk_algorithm_t*,
                       int, gnutls_pcert_st** chain, unsigned* length, gnutls_privkey_t* key) {
    CTlsIdentity* identity = g_identity.load();
    if (identity == nullptr) {
        return -1;
    }
    *chain = identity->Chain();
    *length = identity->ChainLength();
    *key = identity->Key();
    return 0;
}

bool ClientCertificateAccepted(MHD_Connection* connection, ClientAuth rule) {
    if (rule == ClientAuth::None || rule == ClientAuth::Request) {
        return true;
    }
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_GNUTLS_SESSION);
    const auto session =
        info != nullptr ? static_cast<gnutls_session_t>(info->tls_session) : nullptr;
    unsigned count = 0;
    const bool given =
        session != nullptr && gnutls_certificate_get_peers(session, &count) != nullptr && count > 0;
    switch (rule) {
    case ClientAuth::RequireAny:
        return given;
    case ClientAuth::VerifyIfGiven:
        return !given || PeerVerified(session);
    default:
        return given && PeerVerified(session);
    }
}

bool SameTlsSettings(const TlsConfig& a, const TlsConfig& b) {
    return a.clientAuth == b.clientAuth && a.clientCaPem == b.clientCaPem &&
           a.priorities == b.priorities;
}

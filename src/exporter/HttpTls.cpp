#include "exporter/HttpTls.h"

#include <gnutls/gnutls.h>
#include <gnutls/x509.h>
#include <microhttpd.h>

namespace {

// Verified by the client CA and meant for client authentication: an extended key usage
// must name it or any purpose, as Go's TLS wants (none at all passes too).
bool PeerVerified(gnutls_session_t session) {
    gnutls_typed_vdata_st purpose{
        GNUTLS_DT_KEY_PURPOSE_OID,
        reinterpret_cast<unsigned char*>(const_cast<char*>(GNUTLS_KP_TLS_WWW_CLIENT)), 0};
    unsigned status = 0;
    return gnutls_certificate_verify_peers(session, &purpose, 1, &status) == GNUTLS_E_SUCCESS &&
           status == 0;
}

} // namespace

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

#pragma once
// The TLS side of the HTTP server: the identity offered to new handshakes, and the client
// certificate rule applied to a request.
#include "exporter/TlsIdentity.h"
#include "exporter/WebConfig.h"

struct MHD_Connection;

// The identity new handshakes get; nullptr: none. GnuTLS's certificate callback has no
// argument of its own, so the one TLS server of a process publishes its identity here.
void OfferTlsIdentity(CTlsIdentity* identity);
// Stops offering identity if it is the one offered (before it is freed).
void WithdrawTlsIdentity(CTlsIdentity* identity);
// GnuTLS's server certificate callback: the identity offered.
int OfferedCertificate(gnutls_session_t, const gnutls_datum_t*, int, const gnutls_pk_algorithm_t*,
                       int, gnutls_pcert_st** chain, unsigned* length, gnutls_privkey_t* key);

// Whether the connection's client certificate meets the rule.
bool ClientCertificateAccepted(MHD_Connection* connection, ClientAuth rule);

// Whether b can replace a without a restart: the same client rule, CA and versions.
bool SameTlsSettings(const TlsConfig& a, const TlsConfig& b);

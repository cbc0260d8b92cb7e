#pragma once
// The TLS side of a request: the client certificate rule, and which settings a reload may
// change. The identity offered to handshakes is CTlsIdentity's.
#include "exporter/WebConfig.h"

struct MHD_Connection;

// Whether the connection's client certificate meets the rule.
bool ClientCertificateAccepted(MHD_Connection* connection, ClientAuth rule);

// Whether b can replace a without a restart: the same client rule, CA and versions.
bool SameTlsSettings(const TlsConfig& a, const TlsConfig& b);

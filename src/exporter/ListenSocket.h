#pragma once
// The HTTP server's listening socket, opened by the exporter itself so a failure says why,
// and how many connections the open file limit leaves room for.
#include "exporter/HttpRules.h"

#include <cstddef>
#include <string>

// A listening socket for the address: every address IPv6 and IPv4 on "::" for an empty
// host (IPv4 alone where the system has no IPv6), else the host's first address. -1 and
// why in failure when it cannot listen.
int OpenListenSocket(const ListenAddress& where, std::string& failure);

// The port fd is bound to; 0 when it cannot be read.
unsigned BoundPort(int fd);

// Connections allowed in all: up to wanted, within the soft open file limit less what the
// exporter's racks, files and log need (the limit itself is raised once, at start).
std::size_t ConnectionsAllowed(std::size_t wanted, std::size_t reserved);

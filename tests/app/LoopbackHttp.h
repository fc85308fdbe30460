#pragma once
// What the window tests ask of a running service, on top of the HTTP service's test client.

#include <cstdint>
#include <string>

#include "tests/web/HTTPTestSupport.h"

// The port of the service's first IPv4 binding while it is active (0 when there is none).
std::uint16_t BoundIPv4Port(const TIdHTTPWebBrokerBridge& AServer);
// Whether a connection to the port on 127.0.0.1 is accepted.
bool LoopbackConnects(std::uint16_t APort);
// "GET <path>" on a new connection; everything the server sent before it closed.
std::string LoopbackGet(std::uint16_t APort, const std::string& APath);

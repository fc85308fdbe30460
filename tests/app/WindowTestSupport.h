#pragma once
// Shared by the window tests: the process-wide objects as the program finds them at start,
// and what the tests ask of a running service, on top of the HTTP service's test client.

#include <cstdint>
#include <string>

#include "joystick/vJoySimulated.h"
#include "tests/web/HTTPTestSupport.h"

// A new simulated library of those options (so the next GetvJoy creates a fresh joystick
// object on it), no page object (so the defaults come back) and the program's web module
// registered. Returns the library.
TvJoySimulated& StartAsANewProcess(TvJoySimulatedOptions AOptions);
// Drops the page object again; the joystick object is left to the next library selected.
void ForgetProcessObjects();

// The port of the service's first IPv4 binding while it is active (0 when there is none).
std::uint16_t BoundIPv4Port(const TIdHTTPWebBrokerBridge& AServer);
// A port that is free on this machine now (the system's choice for a socket that is closed
// again at once).
std::uint16_t FreePort();
// Whether a connection to the port on 127.0.0.1 is accepted.
bool LoopbackConnects(std::uint16_t APort);
// "GET <path>" on a new connection; everything the server sent before it closed.
std::string LoopbackGet(std::uint16_t APort, const std::string& APath);

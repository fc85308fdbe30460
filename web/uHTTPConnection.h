#pragma once
// Serving one connection: read one request, check it, dispatch it, write the response.
// Every connection serves exactly one request and closes.

#include <cstdint>

#include "web/uByteChannel.h"
#include "web/uConnectionSignal.h"
#include "web/uWebRequestHandler.h"

struct THTTPConnectionLimits {
  // Header lines a request may have; one more closes the connection unanswered.
  int MaxHeaderLines = 1025;
  // The largest request body; a larger one is answered 413 before any of it is stored.
  std::uint64_t MaxBodySize = 1024 * 1024;
};

// Serves the one request of a connection on the calling thread. Malformed requests are
// closed unanswered or answered with a header-only error; an error escaping the handler
// becomes a 500 whose body is its message. Returns once the response is out and the client
// has had the chance to read it; the owner then closes the connection. Never raises: an
// error that nothing answers (memory running out, a channel that raises) ends the serve
// with whatever was written so far.
// ASignal: the connection's signal, which lets a response stay open (a stream of events) until
// the service cancels it; without one no response streams.
void ServeHTTPConnection(TByteChannel& AChannel, TWebRequestHandler& AHandler, const THTTPConnectionLimits& ALimits,
                         TConnectionSignal* ASignal = nullptr) noexcept;

#pragma once
// A raw TCP client on 127.0.0.1 for fault and load tests: it can send one byte per write,
// half-close, read only part of an answer, and end with a reset instead of a close. The
// service's own socket type has none of this, and should not.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

struct TLoopbackRead {
  std::string Bytes;
  bool Closed = false;  // the server closed (or reset) the connection
};

class TLoopbackClient {
 public:
  struct TOptions {
    bool NoDelay = false;   // every send goes out as its own segment
    int ReceiveBuffer = 0;  // a small receive buffer keeps a large answer in the server's send
  };

  TLoopbackClient() = default;
  // Connects at once; Connected() tells whether that worked.
  TLoopbackClient(std::uint16_t APort, TOptions AOptions);
  explicit TLoopbackClient(std::uint16_t APort) : TLoopbackClient(APort, TOptions{}) {}
  ~TLoopbackClient();
  TLoopbackClient(TLoopbackClient&& AOther) noexcept;
  TLoopbackClient& operator=(TLoopbackClient&& AOther) noexcept;
  TLoopbackClient(const TLoopbackClient&) = delete;
  TLoopbackClient& operator=(const TLoopbackClient&) = delete;

  bool Connected() const { return FFd >= 0; }
  // Every byte; false once the connection failed.
  bool Send(std::string_view ABytes);
  // One write per byte; false once the connection failed.
  bool SendBytewise(std::string_view ABytes);
  // The client will send nothing more.
  void ShutdownSend();
  // Reads until the server closes, ALimit bytes have come, or ATimeout passes without either;
  // with a time of 0, only what has arrived already.
  TLoopbackRead Read(std::chrono::milliseconds ATimeout, std::size_t ALimit = std::numeric_limits<std::size_t>::max());
  // Ends the connection with a reset (linger time 0), as a client that crashes or is cut off.
  void Reset();
  void Close();

 private:
  int FFd = -1;
};

// One request on a fresh connection: sends it whole, half-closes, reads until the close.
TLoopbackRead LoopbackExchange(std::uint16_t APort, std::string_view ARequest,
                               std::chrono::milliseconds ATimeout = std::chrono::seconds(5));

// The parts of an answer.
struct TLoopbackReply {
  bool Valid = false;
  int Status = 0;
  std::string Head;  // status line and headers, without the empty line
  std::string Body;
  // A header's value by name, without regard to letter case; empty when absent.
  std::string Header(std::string_view AName) const;
};
TLoopbackReply ParseLoopbackReply(const std::string& ABytes);

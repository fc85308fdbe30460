#pragma once
// TIdHTTPWebBrokerBridge: the HTTP service. While active it listens on its bindings, serves
// every connection on a thread of its own (one request each), hands each request to the
// request dispatcher and writes the response as HTTP/1.1 with "Connection: close".

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/uErrors.h"
#include "base/uSockets.h"
#include "base/uThreads.h"
#include "web/uConnectionSignal.h"
#include "web/uWebRequestHandler.h"

// Activation could not bind a listening socket.
class EIdCouldNotBindSocket : public Exception {
  using Exception::Exception;
};

enum TIdIPVersion { Id_IPv4, Id_IPv6 };

// One listening endpoint.
class TIdSocketHandle {
 public:
  TIdIPVersion IPVersion() const { return FIPVersion; }
  void SetIPVersion(TIdIPVersion AValue) { FIPVersion = AValue; }
  // The local address as text; empty means every address of the IP version.
  const std::u16string& IP() const { return FIP; }
  void SetIP(std::u16string AValue) { FIP = std::move(AValue); }
  // The port asked for; 0 lets the system choose.
  std::uint16_t Port() const { return FPort; }
  void SetPort(std::uint16_t AValue) { FPort = AValue; }
  // The port actually bound while the service is active (the system's choice for port 0);
  // 0 while inactive.
  std::uint16_t BoundPort() const { return FBoundPort; }

 private:
  friend class TIdSocketHandles;
  friend class TIdHTTPWebBrokerBridge;
  explicit TIdSocketHandle(std::uint16_t APort) : FPort(APort) {}

  TIdIPVersion FIPVersion = Id_IPv4;
  std::u16string FIP;
  std::uint16_t FPort;
  std::uint16_t FBoundPort = 0;
};

// The ordered list of bindings.
class TIdSocketHandles {
 public:
  TIdSocketHandles(const TIdSocketHandles&) = delete;
  TIdSocketHandles& operator=(const TIdSocketHandles&) = delete;

  // A new IPv4 binding for every address, on the service's current DefaultPort.
  TIdSocketHandle& Add();
  int Count() const { return static_cast<int>(FItems.size()); }
  // Raises EListError for an index outside the list.
  TIdSocketHandle& Items(int AIndex) const;
  // Only while the service is inactive.
  void Clear() { FItems.clear(); }

 private:
  friend class TIdHTTPWebBrokerBridge;
  explicit TIdSocketHandles(const std::uint16_t& ADefaultPort) : FDefaultPort(ADefaultPort) {}

  const std::uint16_t& FDefaultPort;
  std::vector<std::unique_ptr<TIdSocketHandle>> FItems;
};

class TIdHTTPWebBrokerBridge {
 public:
  // Dispatches to ARequestHandler, or to the process-wide WebRequestHandler() when null.
  explicit TIdHTTPWebBrokerBridge(TWebRequestHandler* ARequestHandler = nullptr);
  // Stops first, as SetActive(false) does.
  ~TIdHTTPWebBrokerBridge();
  TIdHTTPWebBrokerBridge(const TIdHTTPWebBrokerBridge&) = delete;
  TIdHTTPWebBrokerBridge& operator=(const TIdHTTPWebBrokerBridge&) = delete;

  bool Active() const { return FActive; }
  // true: binds every binding, then listens on each (with no bindings: one IPv4 binding
  // for every address and, where the machine has IPv6, one IPv6 binding). Raises
  // EIdCouldNotBindSocket "Could not bind socket. Address and port are already in use."
  // when a bind fails, and stays inactive. false: stops listening, closes every open
  // connection and returns once every connection thread has ended. The value it already
  // has does nothing.
  void SetActive(bool AValue);

  // The port of the bindings created from now on.
  std::uint16_t DefaultPort() const { return FDefaultPort; }
  void SetDefaultPort(std::uint16_t AValue) { FDefaultPort = AValue; }
  TIdSocketHandles& Bindings() { return FBindings; }
  const TIdSocketHandles& Bindings() const { return FBindings; }

  // Every response closes its connection.
  bool KeepAlive() const { return false; }
  // Backlog of every listening socket.
  std::int32_t ListenQueue() const { return FListenQueue; }
  void SetListenQueue(std::int32_t AValue) { FListenQueue = AValue; }
  // Open connections allowed at once; 0 means no limit.
  std::int32_t MaxConnections() const { return FMaxConnections; }
  void SetMaxConnections(std::int32_t AValue) { FMaxConnections = AValue; }
  // A request may have one header line more than this.
  std::int32_t MaximumHeaderLineCount() const { return FMaximumHeaderLineCount; }
  void SetMaximumHeaderLineCount(std::int32_t AValue) { FMaximumHeaderLineCount = AValue; }
  // Responses carry no "Server" header.
  const std::u16string& ServerSoftware() const { return FServerSoftware; }

  // Connection threads that have not ended yet.
  int ConnectionCount() const;
  // Connection threads that have ended and are not joined yet; each still holds its stack.
  int UnjoinedThreadCount() const;

 private:
  // One listening socket and its thread. Deactivate tears it down in its written order: the
  // socket is shut down (waking the thread's accept), the thread joined, the socket closed.
  struct TListener {
    TSocket Socket;
    TPlatformThread Thread;
  };
  // One accepted connection and the thread that serves it. The service owns it: in
  // FConnections while its thread serves, then in FFinished until the thread of a later
  // connection, the listener or Stop destroys it. Its socket is its thread's to use while it
  // serves (Stop only shuts it down, under FConnectionsLock); when it has served, the thread
  // takes the socket out under that lock, marks itself finished, and closes the socket
  // itself. So a finished connection holds no socket, and its thread, which may still be
  // joining earlier connections, touches nothing of it any more.
  struct TConnection {
    TConnection() = default;
    // Teardown in this order, whatever the order of the members below: the socket is closed
    // (it still holds one only when its thread was never started or refused), then the
    // thread is joined. Only for a connection that is finished or whose thread never ran.
    ~TConnection();
    TConnection(const TConnection&) = delete;
    TConnection& operator=(const TConnection&) = delete;

    TSocket Socket;
    TPlatformThread Thread;
    TConnectionSignal Signal;  // cancelled by Stop, so a response that stays open ends at once
    std::list<std::unique_ptr<TConnection>>::iterator Entry;  // its place in FConnections
    bool Finished = false;  // guarded by FConnectionsLock
    bool Launched = false;  // Thread is set; guarded by FConnectionsLock
  };

  void Activate();
  void Deactivate();
  void Listen(TListener& AListener);
  void StartConnection(TSocket ASocket);
  // The body of a connection's thread: serves its one request, hands the connection to
  // the finished ones, closes the socket and joins the connections that finished before it.
  void Serve(TConnection& AConnection);
  // Joins and frees the connections whose threads have finished.
  void ReapFinished();

  TWebRequestHandler* FRequestHandler;
  bool FActive = false;
  std::uint16_t FDefaultPort = 80;
  TIdSocketHandles FBindings{FDefaultPort};
  std::int32_t FListenQueue = 15;
  std::int32_t FMaxConnections = 0;
  std::int32_t FMaximumHeaderLineCount = 1024;
  const std::u16string FServerSoftware;

  // Fixed while active: what the listener and connection threads read.
  TWebRequestHandler* FHandler = nullptr;
  std::int32_t FConnectionLimit = 0;
  int FHeaderLineLimit = 1025;

  std::atomic<bool> FStopping{false};
  std::vector<std::unique_ptr<TListener>> FListeners;
  mutable std::mutex FConnectionsLock;
  std::condition_variable FConnectionEnded;
  std::list<std::unique_ptr<TConnection>> FConnections;  // threads that have not finished
  std::list<std::unique_ptr<TConnection>> FFinished;     // finished, waiting to be joined
  int FOpenConnections = 0;  // guarded by FConnectionsLock
};

#include "web/uHTTPWebBrokerBridge.h"

#include <chrono>
#include <thread>

#include "base/uText.h"
#include "web/uHTTPConnection.h"

namespace {

// Connection threads only parse a request and run a route, so a small stack is plenty and
// thousands of idle connections fit.
constexpr std::size_t kConnectionStackSize = 256 * 1024;
constexpr std::size_t kListenerStackSize = 128 * 1024;
constexpr auto kStopRetryInterval = std::chrono::milliseconds(500);

const char16_t* const kBindError = u"Could not bind socket. Address and port are already in use.";

}  // namespace

TIdSocketHandle& TIdSocketHandles::Add() {
  FItems.push_back(std::unique_ptr<TIdSocketHandle>(new TIdSocketHandle(FDefaultPort)));
  return *FItems.back();
}

TIdSocketHandle& TIdSocketHandles::Items(int AIndex) const {
  if (AIndex < 0 || AIndex >= Count())
    throw EListError(u"List index out of bounds (" + IntToStr(AIndex) + u")");
  return *FItems[static_cast<std::size_t>(AIndex)];
}

TIdHTTPWebBrokerBridge::TConnection::~TConnection() {
  Socket.Close();
  Thread.Join();
}

TIdHTTPWebBrokerBridge::TIdHTTPWebBrokerBridge(TWebRequestHandler* ARequestHandler)
    : FRequestHandler(ARequestHandler) {}

TIdHTTPWebBrokerBridge::~TIdHTTPWebBrokerBridge() { SetActive(false); }

void TIdHTTPWebBrokerBridge::SetActive(bool AValue) {
  if (AValue == FActive) return;
  if (AValue)
    Activate();
  else
    Deactivate();
}

int TIdHTTPWebBrokerBridge::ConnectionCount() const {
  std::lock_guard lock(FConnectionsLock);
  return FOpenConnections;
}

int TIdHTTPWebBrokerBridge::UnjoinedThreadCount() const {
  std::lock_guard lock(FConnectionsLock);
  return static_cast<int>(FFinished.size());
}

void TIdHTTPWebBrokerBridge::Activate() {
  if (FBindings.Count() == 0) {
    FBindings.Add();
    if (IPv6Supported()) FBindings.Add().SetIPVersion(Id_IPv6);
  }
  // Every binding is bound before any listens, so a taken port leaves nothing listening.
  std::vector<std::unique_ptr<TListener>> listeners;
  for (const auto& binding : FBindings.FItems) {
    auto listener = std::make_unique<TListener>();
    listener->Socket = TSocket::Open(binding->IPVersion() == Id_IPv4 ? TIPVersion::IPv4 : TIPVersion::IPv6);
    if (!listener->Socket.Bind(Utf16ToLatin1(binding->IP()), binding->Port())) throw EIdCouldNotBindSocket(kBindError);
    listeners.push_back(std::move(listener));
  }
  for (const auto& listener : listeners)
    if (!listener->Socket.Listen(FListenQueue)) throw EIdCouldNotBindSocket(kBindError);

  FHandler = FRequestHandler ? FRequestHandler : &WebRequestHandler();
  FConnectionLimit = FMaxConnections;
  FHeaderLineLimit = FMaximumHeaderLineCount + 1;
  FStopping = false;
  for (std::size_t i = 0; i < listeners.size(); ++i) FBindings.FItems[i]->FBoundPort = listeners[i]->Socket.LocalPort();
  FListeners = std::move(listeners);
  FActive = true;
  try {
    for (const auto& listener : FListeners) {
      TListener* l = listener.get();
      l->Thread = TPlatformThread([this, l] { Listen(*l); }, kListenerStackSize, TThreadPriority::Highest);
    }
  } catch (...) {
    Deactivate();
    throw;
  }
}

void TIdHTTPWebBrokerBridge::Deactivate() {
  FActive = false;
  FStopping = true;
  for (const auto& listener : FListeners) {
    listener->Socket.Shutdown();
    listener->Thread.Join();
    listener->Socket.Close();
  }
  FListeners.clear();
  {
    // Closing a connection's socket cuts off its request or its response; a route that is
    // running completes and its writes fail. Threads that still run are asked again.
    std::unique_lock lock(FConnectionsLock);
    while (FOpenConnections > 0) {
      for (const auto& connection : FConnections)
        if (!connection->Finished) {
          connection->Socket.Shutdown();
          connection->Signal.Cancel();
        }
      FConnectionEnded.wait_for(lock, kStopRetryInterval, [this] { return FOpenConnections == 0; });
    }
  }
  ReapFinished();
  for (const auto& binding : FBindings.FItems) binding->FBoundPort = 0;
}

void TIdHTTPWebBrokerBridge::Listen(TListener& AListener) {
  while (!FStopping) {
    TSocket client = AListener.Socket.Accept();
    if (FStopping) break;
    if (!client.IsOpen()) {
      // Out of descriptors or memory: give the system a moment rather than spin.
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    StartConnection(std::move(client));
    // After the start, so waiting for a thread that is still ending never delays a new one.
    ReapFinished();
  }
}

void TIdHTTPWebBrokerBridge::StartConnection(TSocket ASocket) {
  auto owned = std::make_unique<TConnection>();
  owned->Socket = std::move(ASocket);
  TConnection* connection = owned.get();
  std::list<std::unique_ptr<TConnection>>::iterator entry;
  {
    std::lock_guard lock(FConnectionsLock);
    if (FConnectionLimit > 0 && FOpenConnections >= FConnectionLimit) return;  // refused: closes
    entry = FConnections.insert(FConnections.end(), std::move(owned));
    connection->Entry = entry;
    ++FOpenConnections;
  }
  TPlatformThread thread;
  try {
    thread = TPlatformThread([this, connection] { Serve(*connection); }, kConnectionStackSize);
  } catch (const EThreadError&) {
    // No thread for it: the connection is dropped.
    std::unique_ptr<TConnection> dropped;
    {
      std::lock_guard lock(FConnectionsLock);
      dropped = std::move(*entry);
      FConnections.erase(entry);
      --FOpenConnections;
    }
    FConnectionEnded.notify_all();
    return;
  }
  // The thread may have finished already; it is reaped only once its handle is stored.
  std::lock_guard lock(FConnectionsLock);
  connection->Thread = std::move(thread);
  connection->Launched = true;
  if (connection->Finished) FFinished.splice(FFinished.end(), FConnections, entry);
}

void TIdHTTPWebBrokerBridge::Serve(TConnection& AConnection) {
  {
    THTTPConnectionLimits limits;
    limits.MaxHeaderLines = FHeaderLineLimit;
    TSocketByteChannel channel(AConnection.Socket);
    ServeHTTPConnection(channel, *FHandler, limits, &AConnection.Signal);
  }
  // The connections that finished before this one are joined here, so clients that all go
  // at once do not leave their threads' stacks behind until the next connection arrives.
  // Each thread joins only earlier ones, and the last is joined by the next one or by stop.
  TSocket served;
  std::list<std::unique_ptr<TConnection>> earlier;
  {
    std::lock_guard lock(FConnectionsLock);
    // Stop shuts down the sockets of unfinished connections under this lock; once finished,
    // the socket is this thread's alone.
    served = std::move(AConnection.Socket);
    earlier.swap(FFinished);
    AConnection.Finished = true;
    if (AConnection.Launched) FFinished.splice(FFinished.end(), FConnections, AConnection.Entry);
    --FOpenConnections;
    FConnectionEnded.notify_all();
  }
  // From here on the connection may be destroyed by whoever reaps it (its destructor waits
  // for this thread), so only what this thread holds is touched: the socket is closed outside
  // the lock, then the earlier connections are joined.
  served.Close();
  earlier.clear();
}

void TIdHTTPWebBrokerBridge::ReapFinished() {
  std::list<std::unique_ptr<TConnection>> finished;
  {
    std::lock_guard lock(FConnectionsLock);
    finished.swap(FFinished);
  }
  // Destroying a connection joins its thread, which has nothing left to do.
  finished.clear();
}

#include "web/uByteChannel.h"

std::ptrdiff_t TSocketByteChannel::Receive(char* ABuffer, std::size_t ASize) { return FSocket.Receive(ABuffer, ASize); }

bool TSocketByteChannel::SendAll(std::string_view ABytes) { return FSocket.SendAll(ABytes); }

bool TSocketByteChannel::WaitReadable(int AMilliseconds) { return FSocket.WaitReadable(AMilliseconds); }

void TSocketByteChannel::ShutdownSend() { FSocket.ShutdownSend(); }

std::string TSocketByteChannel::PeerAddress() const { return FSocket.PeerAddress(); }

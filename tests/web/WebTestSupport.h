#pragma once
// Requests and responses for dispatch tests: the response's writer records what the HTTP
// service would have put on the wire.

#include <string>

#include "web/uWebRequest.h"

struct TCapturedResponse {
  int Writes = 0;
  std::int32_t StatusCode = 0;
  std::u16string ContentType;
  TResponseBody Body = TResponseBody::None;
  std::u16string Content;
  std::string StreamBytes;
};

inline TWebResponse CapturingResponse(TCapturedResponse& captured) {
  return TWebResponse([&captured](TWebResponse& response) {
    ++captured.Writes;
    captured.StatusCode = response.StatusCode();
    captured.ContentType = response.ContentType();
    captured.Body = response.Body();
    captured.Content = response.Content();
    if (response.ContentStream() != nullptr) captured.StreamBytes = response.ContentStream()->Bytes();
  });
}

inline TWebRequest MakeRequest(std::u16string method, std::u16string path, std::u16string query = {},
                               std::string content = {}, std::u16string contentType = {}) {
  return TWebRequest(std::move(method), std::move(path), std::move(query), std::move(contentType),
                     std::move(content));
}

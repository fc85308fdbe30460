#pragma once
// One answer of a path that the page route serves besides the page (the editor's, pairing):
// status, content type and body bytes (UTF-8).

#include <cstdint>
#include <string>

struct TRouteAnswer {
  std::int32_t Status = 200;
  std::u16string ContentType;
  std::string Body;
};

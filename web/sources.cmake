# Request records, dispatch and the web module with its routes.
target_sources(tapdeck_core PRIVATE
  web/uMainPage.cpp
  web/uWebRequest.cpp
  web/uWebRequestHandler.cpp
)

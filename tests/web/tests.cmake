# Request records, dispatch, the web module and its page route.
target_sources(tapdeck_tests PRIVATE
  tests/web/uInputRoutesTest.cpp
  tests/web/uMainPageTest.cpp
  tests/web/uWebRequestHandlerTest.cpp
  tests/web/uWebRequestTest.cpp
)

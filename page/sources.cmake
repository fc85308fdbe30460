target_sources(tapdeck_core PRIVATE
  page/uPageInfo.cpp
  page/uPageInfoEliteDangerous.cpp
)

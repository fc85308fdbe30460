target_sources(tapdeck_core PRIVATE
  page/uPageElements.cpp
  page/uPageInfo.cpp
  page/uPageInfoEliteDangerous.cpp
  page/uPageModel.cpp
  page/uPanelFile.cpp
)

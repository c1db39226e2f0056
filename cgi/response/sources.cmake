target_sources(quillopro_core PRIVATE
  response/documents.cpp
  response/pages.cpp
  response/debug_report.cpp)

target_sources(quillopro_core PRIVATE
  content/text.cpp
  content/placeholders.cpp
  content/templates.cpp)

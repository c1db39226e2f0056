target_sources(quillopro_core PRIVATE
  platform/text_mode.cpp
  platform/system_posix.cpp)

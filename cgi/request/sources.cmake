target_sources(quillopro_core PRIVATE
  request/intake.cpp
  request/field_checks.cpp
  request/pipeline.cpp)

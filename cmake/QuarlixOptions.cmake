# Build options shared by every target.
option(QUARLIX_BUILD_TESTS "Build the unit and integration tests" ON)
option(QUARLIX_BUILD_BENCH "Build the benchmark programs" OFF)
option(QUARLIX_BUILD_FUZZERS "Build the libFuzzer targets (clang)" OFF)
option(QUARLIX_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

add_library(quarlix_warnings INTERFACE)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(quarlix_warnings INTERFACE -Wall -Wextra -Wno-unused-parameter)
endif()

if(QUARLIX_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(QUARLIX_BUILD_FUZZERS)
  # Every library gets coverage instrumentation; the fuzz targets add the
  # libFuzzer driver themselves.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

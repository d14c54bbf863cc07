# The pieces the stress programs and the fuzz targets share: the live-object
# counters, and one recorded call of the procedure with the check of its
# answer. Included from both folders; defined once.
include_guard(GLOBAL)

add_library(stress_counters STATIC ${CMAKE_CURRENT_LIST_DIR}/live_counters.cpp)
target_include_directories(stress_counters PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(stress_counters PUBLIC activeds win32compat PRIVATE quarlix_warnings)

add_library(stress_calls STATIC ${CMAKE_CURRENT_LIST_DIR}/recorded_call.cpp)
target_include_directories(stress_calls PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(stress_calls PUBLIC quarlix opends60 stress_counters PRIVATE quarlix_warnings)

# kv_engine_library(NAME DEPS...) builds src/<folder>/*.cpp into a static library kv_<NAME>.
# Files are globbed so that a new source file needs no edit here.
function(kv_engine_library name)
  file(GLOB _srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(_srcs)
    add_library(kv_${name} STATIC ${_srcs})
  else()
    add_library(kv_${name} INTERFACE)
  endif()
  get_target_property(_type kv_${name} TYPE)
  if(_type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(kv_${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(kv_${name} INTERFACE ${ARGN})
  else()
    target_include_directories(kv_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(kv_${name} PUBLIC ${ARGN} PRIVATE kv_warnings)
  endif()
endfunction()

# kv_gtest(NAME LIBS...) builds tests/<folder>/*.cpp into one GoogleTest binary registered with CTest.
function(kv_gtest name)
  file(GLOB _srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT _srcs)
    return()
  endif()
  add_executable(${name} ${_srcs})
  target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest GTest::gmock GTest::gtest_main kv_warnings)
  kv_precompile_test_headers(${name})
  target_compile_definitions(${name} PRIVATE KV_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data"
    KV_BINARY_DIR="${PROJECT_BINARY_DIR}" KV_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS engine)
endfunction()

# GoogleTest's headers take longer to parse than most test files take to compile: parse them once
# per test binary. A unity build compiles each test binary as one batch, which parses them once
# anyway; writing and loading a precompiled header (over 100 MB) would then cost more than it saves.
function(kv_precompile_test_headers target)
  if(KELVADORE_UNITY_BUILD)
    return()
  endif()
  target_precompile_headers(${target} PRIVATE <gtest/gtest.h> <gmock/gmock.h> <string> <vector>
    <filesystem> <functional> <memory>)
endfunction()

# The same for Qt's headers in the application's libraries.
function(kv_precompile_qt_headers target)
  target_precompile_headers(${target} PRIVATE <QtCore/QObject> <QtCore/QString> <QtCore/QStringList>
    <QtCore/QList> <QtCore/QVariant> ${ARGN})
endfunction()

# kv_qtest_per_function(PREFIX TARGET SOURCE LABELS ENVIRONMENT): one CTest test per test function
# of the Qt test class in SOURCE, named PREFIX.function, with those labels and that environment. Such functions spend minutes waiting on
# drives at normal speed; as tests of their own they wait beside each other instead of in a row.
# Test functions are the class's lower-case `void name() {` members (its helpers are capitalised).
function(kv_qtest_per_function prefix target source labels environment)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  file(STRINGS ${source} _lines REGEX "^    void [a-z][A-Za-z0-9]*\\(\\) {")
  foreach(_line IN LISTS _lines)
    string(REGEX REPLACE "^    void ([a-z][A-Za-z0-9]*)\\(\\) {.*" "\\1" _function "${_line}")
    if(NOT _function MATCHES "^(init|cleanup)")
      add_test(NAME ${prefix}.${_function} COMMAND ${target} ${_function})
      set_tests_properties(${prefix}.${_function} PROPERTIES LABELS "${labels}" ENVIRONMENT "${environment}"
        TIMEOUT 600)
    endif()
  endforeach()
endfunction()

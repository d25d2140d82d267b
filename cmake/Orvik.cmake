# orvik_component(<target> DIR <dir> [QT] [DEPS ...] [EXCLUDE <subdir>...] [TEST_LABELS ...])
# Builds every .cpp under DIR (minus tests/ and the EXCLUDE subfolders) into one
# static library. Its tests: DIR/tests/CMakeLists.txt when present, otherwise
# every DIR/tests/*.cpp in one GoogleTest binary named <target>_tests.
function(orvik_component target)
  cmake_parse_arguments(C "QT" "DIR;TESTS_DIR" "DEPS;EXCLUDE;TEST_LABELS" ${ARGN})
  if(NOT C_TESTS_DIR)
    set(C_TESTS_DIR ${C_DIR}/tests)
  endif()
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${C_DIR}/*.cpp)
  list(FILTER srcs EXCLUDE REGEX "^${C_DIR}/tests/")
  list(FILTER srcs EXCLUDE REGEX "^${C_TESTS_DIR}/")
  foreach(ex IN LISTS C_EXCLUDE)
    list(FILTER srcs EXCLUDE REGEX "^${C_DIR}/${ex}/")
  endforeach()
  if(srcs)
    if(C_QT)
      # Headers listed as sources, so that moc sees a new Q_OBJECT header at
      # once in an incremental build.
      file(GLOB_RECURSE hdrs CONFIGURE_DEPENDS ${C_DIR}/*.h)
      list(FILTER hdrs EXCLUDE REGEX "^${C_TESTS_DIR}/")
      list(APPEND srcs ${hdrs})
    endif()
    add_library(${target} STATIC ${srcs})
    target_link_libraries(${target} PUBLIC orvik_includes Threads::Threads ${C_DEPS})
    if(C_QT)
      set_target_properties(${target} PROPERTIES AUTOMOC ON)
    endif()
  else()
    add_library(${target} INTERFACE)
    target_link_libraries(${target} INTERFACE orvik_includes Threads::Threads ${C_DEPS})
  endif()
  if(EXISTS ${C_TESTS_DIR}/CMakeLists.txt)
    add_subdirectory(${C_TESTS_DIR} ${CMAKE_CURRENT_BINARY_DIR}/${target}_tests_dir)
  else()
    file(GLOB tests CONFIGURE_DEPENDS ${C_TESTS_DIR}/*.cpp)
    if(tests)
      orvik_add_gtest(${target}_tests SOURCES ${tests} LIBS ${target} LABELS ${C_TEST_LABELS})
      if(C_QT)
        set_target_properties(${target}_tests PROPERTIES AUTOMOC ON)
      endif()
    endif()
  endif()
endfunction()

# orvik_add_gtest(<name> SOURCES ... LIBS ... [LABELS ...] [ENVIRONMENT k=v ...] [TIMEOUT s])
# One GoogleTest binary, its cases registered with CTest one by one.
function(orvik_add_gtest name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS;ENVIRONMENT" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE ORVIK_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                             ORVIK_BINARY_DIR="${PROJECT_BINARY_DIR}")
  # GoogleTest discovery flattens list-valued properties, so the labels travel
  # as one label joined by "_" (ctest -L takes a regular expression: -L tsan
  # still finds "core_tsan"), and ENVIRONMENT takes one variable; a test that
  # needs more sets them itself.
  string(JOIN "_" labels ${T_LABELS})
  list(LENGTH T_ENVIRONMENT env_count)
  if(env_count GREATER 1)
    message(FATAL_ERROR "orvik_add_gtest(${name}): ENVIRONMENT takes one variable")
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${labels}" TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${T_ENVIRONMENT}")
endfunction()

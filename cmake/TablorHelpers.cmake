# Shared build settings and helpers for Tablor's targets.

# Warnings on for our own code; -Werror where asked for (TABLOR_WERROR: scripts/build turns it
# on in CI, so that a warning is mended where it appears).
function(tablor_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wno-missing-field-initializers)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -Wshadow=local)
  endif()
  if(TABLOR_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# tablor_add_test(NAME name SOURCES ... LIBS ... [LABELS ...] [QT])
# One GoogleTest executable (a library has one or more); each test case becomes a ctest test.
# Every test links tablor_test_support (tests/support).
# QT sets QT_QPA_PLATFORM=offscreen so widget tests run without a display.
function(tablor_add_test)
  cmake_parse_arguments(T "QT" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} tablor_test_support GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  target_compile_definitions(${T_NAME} PRIVATE
    TABLOR_SHARED_DIR="${TABLOR_SHARED_DIR}"
    TABLOR_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    TABLOR_BINARY_DIR="${CMAKE_BINARY_DIR}")
  tablor_warnings(${T_NAME})
  set(env "")
  if(T_QT)
    list(APPEND env "QT_QPA_PLATFORM=offscreen")
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  # PROPERTIES is one flat key/value list: an empty ENVIRONMENT would shift every pair
  # after it, and a list value (several labels) cannot pass through it at all; the labels
  # are set by a small include file that runs after the discovered tests are added.
  set(props TIMEOUT ${T_TIMEOUT})
  if(env)
    list(APPEND props ENVIRONMENT "${env}")
  endif()
  gtest_discover_tests(${T_NAME}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    TEST_LIST ${T_NAME}_TESTS
    PROPERTIES ${props})
  if(T_LABELS)
    set(label_file "${CMAKE_CURRENT_BINARY_DIR}/${T_NAME}_labels.cmake")
    file(WRITE "${label_file}"
      "if(${T_NAME}_TESTS)\n  set_tests_properties(\${${T_NAME}_TESTS} PROPERTIES LABELS \"${T_LABELS}\")\nendif()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${label_file}")
  endif()
endfunction()

# tablor_export_folder(target folder)
# The target's headers are reachable as "folder/name.h" through a staging directory that holds
# only that folder, and only for the target and the targets that link it. A library thus sees
# its own folder and those of the libraries below it, so that a header included across the
# layers (a copy engine reaching into a window's folder) does not build. Every library of a
# folder exports the same staging directory, so that each header has one path.
function(tablor_export_folder target folder)
  set(stage "${CMAKE_BINARY_DIR}/include/${folder}")
  if(NOT IS_SYMLINK "${stage}/${folder}")
    file(MAKE_DIRECTORY "${stage}")
    file(CREATE_LINK "${CMAKE_SOURCE_DIR}/${folder}" "${stage}/${folder}" SYMBOLIC)
  endif()
  target_include_directories(${target} PUBLIC "${stage}")
endfunction()

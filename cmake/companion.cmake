# The companion programs: each folder of tools/ builds its own code into a
# library (which its tests link too) and a program from main.cpp beside
# escala; its end-to-end tests run the programs built there.
#
#   escala_companion(<program> <library> SOURCES <file>... [LINKS <target>...])
#     the library (the tool's folder and tools/ on its include path, escala's
#     version defined, CLI11 private) and the program.
#
#   escala_tool_test(<target> SOURCES <file>... [LINKS <target>...]
#                    [DEPENDS <program>...] [PREFIX <text>] [TIMEOUT <s>] [SINGLE])
#     a GoogleTest binary told where the programs and the source tree are;
#     SINGLE registers it as one ctest entry instead of one per case.

function(escala_companion program library)
  cmake_parse_arguments(PARSE_ARGV 2 ARG "" "" "SOURCES;LINKS")
  add_library(${library} STATIC ${ARG_SOURCES})
  target_include_directories(${library} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tools)
  target_link_libraries(${library} PUBLIC escala_lib ${ARG_LINKS} PRIVATE CLI11::CLI11)
  target_compile_definitions(${library} PRIVATE ESCALA_VERSION="${PROJECT_VERSION}")
  add_executable(${program} main.cpp)
  target_link_libraries(${program} PRIVATE ${library})
  set_target_properties(${program} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
endfunction()

function(escala_tool_test target)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "SINGLE" "PREFIX;TIMEOUT" "SOURCES;LINKS;DEPENDS")
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 900)
  endif()
  add_executable(${target} ${ARG_SOURCES})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${target} PRIVATE ${ARG_LINKS} escala_lib GTest::gtest GTest::gtest_main)
  target_compile_definitions(${target} PRIVATE
    ESCALA_BINARY_DIR="${CMAKE_BINARY_DIR}"
    ESCALA_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    ESCALA_VERSION="${PROJECT_VERSION}")
  if(ARG_DEPENDS)
    add_dependencies(${target} ${ARG_DEPENDS})
  endif()
  if(ARG_SINGLE)
    add_test(NAME ${target} COMMAND ${target})
    set_tests_properties(${target} PROPERTIES TIMEOUT ${ARG_TIMEOUT})
  else()
    gtest_discover_tests(${target} TEST_PREFIX "${ARG_PREFIX}" NO_PRETTY_VALUES DISCOVERY_TIMEOUT 60
      PROPERTIES TIMEOUT ${ARG_TIMEOUT})
  endif()
endfunction()

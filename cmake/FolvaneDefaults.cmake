# Compiler settings shared by every target of the project.
add_library(folv_defaults INTERFACE)
target_compile_options(folv_defaults INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align
  -Woverloaded-virtual -Wformat=2 -Wimplicit-fallthrough
  -Werror)
target_include_directories(folv_defaults INTERFACE
  "$<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>")

if(FOLV_SANITIZE)
  target_compile_options(folv_defaults INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(folv_defaults INTERFACE -fsanitize=address,undefined)
endif()

# folv_target(<target>): every target of ours links the shared settings.
function(folv_target target)
  target_link_libraries(${target} PRIVATE folv_defaults)
endfunction()

# folv_add_test(<name> SOURCES <files...> LIBS <targets...>): one GoogleTest executable per
# test file, each test case registered with CTest.
function(folv_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  folv_target(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

# Project-wide compile settings, applied to our own targets only.
add_library(pelmora_options INTERFACE)
target_compile_options(pelmora_options INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor)
if(PELMORA_WERROR)
  target_compile_options(pelmora_options INTERFACE -Werror)
endif()
# Every string must say how it is encoded; no silent Latin-1/UTF-8 guesses.
target_compile_definitions(pelmora_options INTERFACE
  QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_CAST_FROM_BYTEARRAY
  QT_NO_URL_CAST_FROM_STRING QT_USE_QSTRINGBUILDER QT_NO_KEYWORDS)
if(PELMORA_SANITIZE)
  target_compile_options(pelmora_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(pelmora_options INTERFACE -fsanitize=address,undefined)
endif()
if(PELMORA_FUZZ)
  # Coverage for the fuzzers in all of our code; only fuzz/ links libFuzzer's main.
  target_compile_options(pelmora_options INTERFACE -fsanitize=fuzzer-no-link,address,undefined
    -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(pelmora_options INTERFACE -fsanitize=address,undefined)
endif()

# pelmora_add_library(<name> SOURCES <files...> DEPENDS <targets...>)
# One static library per source folder, named pelmora_<name>. DEPENDS are the layers
# below it; including "folder/File.h" works for every folder under src/.
function(pelmora_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  add_library(pelmora_${name} STATIC ${ARG_SOURCES})
  target_include_directories(pelmora_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(pelmora_${name} PUBLIC ${ARG_DEPENDS} PRIVATE pelmora_options)
endfunction()

# pelmora_add_test(<name> SOURCES <files...> LIBS <targets...>)
# Registers one QtTest executable; tests never see a desktop, the user's
# settings or the user's temporary folder.
function(pelmora_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt6::Test pelmora_options pelmora_testsupport)
  add_test(NAME ${name} COMMAND ${name})
  pelmora_isolate_test(${name})
endfunction()

# pelmora_add_script_test(<name> <script> [args...])
# Registers a shell script test, run in the same surroundings as the QtTest ones.
function(pelmora_add_script_test name script)
  add_test(NAME ${name} COMMAND ${script} ${ARGN})
  pelmora_isolate_test(${name})
endfunction()

# A test's own temporary folder, home and settings; no desktop; one locale.
function(pelmora_isolate_test name)
  set(test_tmp "${CMAKE_BINARY_DIR}/test-tmp/${name}")
  file(MAKE_DIRECTORY "${test_tmp}")
  set_tests_properties(${name} PROPERTIES
    TIMEOUT 300
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TMPDIR=${test_tmp};XDG_CONFIG_HOME=${test_tmp}/config;HOME=${test_tmp}/home;LC_ALL=C.UTF-8")
  # The folder under tests/ as a label, so one area can be run alone: ctest -L hostile.
  cmake_path(GET CMAKE_CURRENT_SOURCE_DIR FILENAME area)
  set_property(TEST ${name} APPEND PROPERTY LABELS ${area})
endfunction()

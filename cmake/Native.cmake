# Native build: the hosting service's tool, unit tests of the launcher's portable code
# against the fake platform, and the end-to-end tests that run the Windows build under Wine.
# The tool's own code: signing and checking connection files with OpenSSL (a library of
# its own, which the fuzz targets take alone), and its commands, whose requests are read
# with nlohmann/json. Never part of the launcher.
find_package(OpenSSL 3 REQUIRED COMPONENTS Crypto)
add_library(rdplaunch_signing STATIC
  src/tool/signing/certificate_path.cpp
  src/tool/signing/rdp_signing.cpp
  src/tool/signing/signatures_header.cpp
  src/tool/signing/signed_file_reader.cpp
  src/tool/signing/signed_message.cpp
  src/tool/signing/signing_policy.cpp
)
target_include_directories(rdplaunch_signing PUBLIC src/tool)
target_link_libraries(rdplaunch_signing PUBLIC rdplaunch_shared OpenSSL::Crypto)
# A signed build compiles the tool at -O3 (Release) at configure time, where GCC 12 warns of
# overlapping copies that -O2 never inlines far enough to see: the developers' build
# compiles the same code so too, so that such a warning stops this build first.
if(CMAKE_BUILD_TYPE STREQUAL "RelWithDebInfo")
  target_compile_options(rdplaunch_signing PRIVATE -O3)
  target_compile_options(rdplaunch_shared PRIVATE -O3)
endif()

# The fake platform that the launcher's portable code runs on in the tests and fuzz targets.
add_library(rdplaunch_fake_platform STATIC EXCLUDE_FROM_ALL tests/fakes/fake_platform.cpp)
target_include_directories(rdplaunch_fake_platform PUBLIC tests)
target_link_libraries(rdplaunch_fake_platform PUBLIC rdplaunch_launcher)

# libFuzzer targets (clang): arbitrary launcher names, failure texts and signed files.
option(RDPLAUNCH_FUZZ "Build the fuzz targets instead of the tool and the tests (needs clang)" OFF)
if(RDPLAUNCH_FUZZ)
  foreach(library rdplaunch_shared rdplaunch_launcher rdplaunch_signing rdplaunch_fake_platform)
    target_compile_options(${library} PRIVATE -fsanitize=fuzzer-no-link)
  endforeach()
  foreach(fuzzer launch_name_fuzzer failure_text_fuzzer)
    add_executable(${fuzzer} fuzz/${fuzzer}.cpp)
    target_link_libraries(${fuzzer} PRIVATE rdplaunch_fake_platform)
  endforeach()
  foreach(fuzzer signed_file_reader_fuzzer signed_file_fuzzer)
    add_executable(${fuzzer} fuzz/${fuzzer}.cpp)
    target_link_libraries(${fuzzer} PRIVATE rdplaunch_signing)
  endforeach()
  foreach(fuzzer launch_name_fuzzer failure_text_fuzzer signed_file_reader_fuzzer signed_file_fuzzer)
    target_compile_options(${fuzzer} PRIVATE -fsanitize=fuzzer)
    target_link_options(${fuzzer} PRIVATE -fsanitize=fuzzer)
  endforeach()
  return()
endif()

find_package(nlohmann_json 3 REQUIRED)
find_package(ICU 60 REQUIRED COMPONENTS uc)
add_library(rdplaunch_tool STATIC
  src/tool/hosting/command_check.cpp
  src/tool/hosting/command_identity.cpp
  src/tool/hosting/command_make.cpp
  src/tool/hosting/command_rdp.cpp
  src/tool/hosting/command_signatures.cpp
  src/tool/hosting/command_verify.cpp
  src/tool/hosting/command_version.cpp
  src/tool/hosting/launch_name_maker.cpp
  src/tool/hosting/tool_answer.cpp
  src/tool/hosting/tool_batch.cpp
  src/tool/hosting/tool_commands.cpp
  src/tool/hosting/tool_files.cpp
  src/tool/hosting/tool_inputs.cpp
  src/tool/hosting/tool_parse.cpp
  src/tool/hosting/tool_text.cpp
)
target_link_libraries(rdplaunch_tool PUBLIC rdplaunch_signing PRIVATE nlohmann_json::nlohmann_json ICU::uc)
target_compile_definitions(rdplaunch_tool PRIVATE RDPLAUNCH_VERSION="${PROJECT_VERSION}")
if(CMAKE_BUILD_TYPE STREQUAL "RelWithDebInfo")
  target_compile_options(rdplaunch_tool PRIVATE -O3)
endif()
add_executable(rdplaunch-name src/tool/hosting/name_tool_main.cpp)
target_link_libraries(rdplaunch-name PRIVATE rdplaunch_tool)

# The manual page is made at build time from the commands' rows, as the help is.
add_executable(rdplaunch-name-manual src/tool/hosting/manual_main.cpp)
target_link_libraries(rdplaunch-name-manual PRIVATE rdplaunch_tool)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/rdplaunch-name.1
                   COMMAND rdplaunch-name-manual > ${CMAKE_BINARY_DIR}/rdplaunch-name.1
                   DEPENDS rdplaunch-name-manual VERBATIM)
add_custom_target(manual ALL DEPENDS ${CMAKE_BINARY_DIR}/rdplaunch-name.1)
include(GNUInstallDirs)
install(TARGETS rdplaunch-name RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_BINARY_DIR}/rdplaunch-name.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The Windows build makes the connection files' signatures with this tool, built alone.
option(RDPLAUNCH_TOOLS_ONLY "Build only the hosting service's tool" OFF)
if(RDPLAUNCH_TOOLS_ONLY)
  return()
endif()

enable_testing()
find_package(GTest REQUIRED)
include(GoogleTest)

add_executable(unit_tests
  tests/fakes/expected_files.cpp
  tests/fakes/test_certificates.cpp
  src/launcher/desktop/connection_file_writer_test.cpp
  src/launcher/failure/failure_reporting_test.cpp
  src/launcher/failure/failure_text_test.cpp
  src/launcher/launch/launch_sequence_test.cpp
  src/launcher/system_commands/command_lines_test.cpp
  src/shared/name/launch_name_test.cpp
  src/shared/profiles/profiles_test.cpp
  src/shared/rdpfile/connection_file_test.cpp
  src/shared/rdpfile/settings_test.cpp
  src/shared/text/cp1251_test.cpp
  src/tool/hosting/launch_name_maker_test.cpp
  src/tool/hosting/tool_files_test.cpp
  src/tool/hosting/tool_test.cpp
  src/tool/signing/rdp_signing_test.cpp
  src/tool/signing/signatures_header_test.cpp
  src/tool/signing/signed_file_reader_test.cpp
  src/tool/signing/signing_policy_test.cpp
)
target_include_directories(unit_tests PRIVATE tests)
target_compile_definitions(unit_tests PRIVATE RDPLAUNCH_EXPECTED_DIR="${CMAKE_SOURCE_DIR}/tests/expected"
                                              RDPLAUNCH_FIXTURES_DIR="${CMAKE_SOURCE_DIR}/tests/fixtures"
                                              RDPLAUNCH_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
                                              RDPLAUNCH_CXX_COMPILER="${CMAKE_CXX_COMPILER}")
target_link_libraries(unit_tests PRIVATE rdplaunch_fake_platform rdplaunch_tool nlohmann_json::nlohmann_json GTest::gtest
                                         GTest::gtest_main)
# The test certificates are made once per test run, before the tests that copy them.
set(test_certificates ${CMAKE_BINARY_DIR}/test-certificates)
add_test(NAME test_certificates COMMAND ${CMAKE_SOURCE_DIR}/tests/fixtures/make-certificates.sh ${test_certificates})
set_tests_properties(test_certificates PROPERTIES FIXTURES_SETUP certificates)
# Beside the end-to-end tests a unit test takes the lock of a test that shows no box.
set(RDPLAUNCH_WIN32_BUILD_DIR "" CACHE PATH "Folder of the 32-bit Windows build, for the end-to-end tests")
set(unit_test_lock)
if(RDPLAUNCH_WIN32_BUILD_DIR)
  set(unit_test_lock RESOURCE_LOCK second_core)
endif()
gtest_discover_tests(unit_tests DISCOVERY_TIMEOUT 60 PROPERTIES FIXTURES_REQUIRED certificates
                     ENVIRONMENT RDPLAUNCH_TEST_CERTIFICATES=${test_certificates} ${unit_test_lock})

# The tests that replace the global operator new, in a program of their own.
add_executable(allocation_tests tests/allocation/allocation_test.cpp tests/fakes/allocation_count.cpp)
target_include_directories(allocation_tests PRIVATE tests)
target_link_libraries(allocation_tests PRIVATE rdplaunch_fake_platform rdplaunch_tool nlohmann_json::nlohmann_json
                                               GTest::gtest GTest::gtest_main)
gtest_discover_tests(allocation_tests DISCOVERY_TIMEOUT 60 PROPERTIES ${unit_test_lock})
# The test programs' own code is compiled without optimization, in about two thirds of the
# time; the code they test keeps the build's flags.
target_compile_options(unit_tests PRIVATE -O0)
target_compile_options(allocation_tests PRIVATE -O0)

# The end-to-end tests need the Windows builds (presets win32 and win64) and Wine.
set(RDPLAUNCH_WIN64_BUILD_DIR "" CACHE PATH "Folder of the 64-bit Windows build, run where 32-bit Wine cannot")
if(RDPLAUNCH_WIN32_BUILD_DIR)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  # Two tests run at a time, and a test takes a lock for what it shares. The suites that
  # only configure and build signed launchers (lock signing: they share the test
  # certificate's builds) start first; beside them runs one test that shows no message box
  # (lock second_core): the browser downloads, a Wine suite whose launchers end without a
  # box, or a unit test. A suite that shows message boxes takes every lock and runs alone:
  # under a build's load, Wine now and then leaves a program's first window uncreated.
  # Every suite that runs Wine takes the lock wine (one prefix, one X server).
  set(e2e_environment
    "RDPLAUNCH_WIN32_BUILD_DIR=${RDPLAUNCH_WIN32_BUILD_DIR};RDPLAUNCH_WIN64_BUILD_DIR=${RDPLAUNCH_WIN64_BUILD_DIR};RDPLAUNCH_NATIVE_BUILD_DIR=${CMAKE_BINARY_DIR}")
  # The signed launcher's configuration, which builds the native tool, first (lock signing):
  # every suite that configures a signed build then finds the tool in the compiler cache,
  # where two suites side by side would each compile it.
  add_test(NAME e2e.signed_build_first COMMAND ${Python3_EXECUTABLE} signed_build.py
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/e2e)
  set(e2e_building_suites test_identity test_release test_signed_build)
  set(e2e_signing_suites ${e2e_building_suites} test_name_tool test_signed_files)
  set(e2e_boxless_suites test_browser_download test_name_tool test_signed_files)
  set(e2e_wineless_suites test_browser_download)
  file(GLOB e2e_suites RELATIVE ${CMAKE_SOURCE_DIR}/tests/e2e ${CMAKE_SOURCE_DIR}/tests/e2e/test_*.py)
  foreach(suite ${e2e_suites})
    get_filename_component(name ${suite} NAME_WE)
    if(name IN_LIST e2e_building_suites)
      set(locks signing)
      set(cost 500)
    elseif(name IN_LIST e2e_boxless_suites)
      set(locks second_core)
      if(NOT name IN_LIST e2e_wineless_suites)
        list(APPEND locks wine)
      endif()
      set(cost 300)
      # The name tool's suite builds the tool preset: it starts after the others, once the
      # signed builds have compiled the same sources into the compiler cache.
      if(name STREQUAL "test_name_tool")
        set(cost 250)
      endif()
    else()
      set(locks wine signing second_core)
      set(cost 100)
    endif()
    add_test(NAME e2e.${name}
      COMMAND ${Python3_EXECUTABLE} -m unittest -v ${name}
      WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/e2e)
    set_tests_properties(e2e.${name} PROPERTIES
      ENVIRONMENT "${e2e_environment}"
      TIMEOUT 900 RESOURCE_LOCK "${locks}" COST ${cost})
    if(name IN_LIST e2e_signing_suites)
      set_tests_properties(e2e.${name} PROPERTIES FIXTURES_REQUIRED signed_build)
    endif()
  endforeach()
  set_tests_properties(e2e.signed_build_first PROPERTIES
    ENVIRONMENT "${e2e_environment}"
    TIMEOUT 600 RESOURCE_LOCK signing COST 1000 FIXTURES_SETUP signed_build)
endif()

# The Windows executable: GUI subsystem (no console window ever appears), statically
# linked so that it needs nothing but the system DLLs, stripped.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
set(RDPLAUNCH_WIN32_LINK_OPTIONS -static -mwindows -s -Wl,--gc-sections)
foreach(library rdplaunch_shared rdplaunch_launcher)
  target_compile_options(${library} PRIVATE -ffunction-sections -fdata-sections)
endforeach()

include(cmake/Reproducible.cmake)
include(cmake/Signing.cmake)

# The executable's identity: its manifest, icon and version information. The texts are
# read by Windows' installer detection too, which asks for elevation when one holds one
# of its words, so such a text, or one with control characters, stops the configuration.
enable_language(RC)
set(RDPLAUNCH_PUBLISHER "Hosting Service" CACHE STRING "CompanyName of the version information")
set(RDPLAUNCH_PRODUCT_NAME "Remote Application Launcher" CACHE STRING "ProductName of the version information")
set(RDPLAUNCH_ICON "${CMAKE_SOURCE_DIR}/src/launcher/win32/rdplaunch.ico" CACHE FILEPATH "The executable's icon (.ico)")
set(RDPLAUNCH_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamping service for the executable's signature")
set(RDPLAUNCH_FILE_DESCRIPTION "Remote application launcher")
set(RDPLAUNCH_COPYRIGHT "Copyright (C) ${RDPLAUNCH_PUBLISHER}")
set(RDPLAUNCH_FILE_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
string(REPLACE "." "," RDPLAUNCH_VERSION_COMMAS "${RDPLAUNCH_FILE_VERSION}")

foreach(variable RDPLAUNCH_PUBLISHER RDPLAUNCH_PRODUCT_NAME)
  string(HEX "${${variable}}" hex)
  string(REGEX MATCHALL ".." bytes "${hex}")
  foreach(byte IN LISTS bytes)
    if(byte STRLESS "20" OR byte STREQUAL "7f")
      message(FATAL_ERROR "${variable} must not contain control characters")
    endif()
  endforeach()
  string(TOLOWER "${${variable}}" lower)
  foreach(word install setup update patch uninst upgrad)
    if(lower MATCHES "${word}")
      message(FATAL_ERROR "${variable} contains '${word}', a word for which Windows' installer detection asks "
                          "for elevation: '${${variable}}'")
    endif()
  endforeach()
  # In a resource script a quote is written twice and a backslash escapes.
  string(REPLACE "\\" "\\\\" escaped "${${variable}}")
  string(REPLACE "\"" "\"\"" ${variable}_RC "${escaped}")
endforeach()
string(REPLACE "\"" "\"\"" RDPLAUNCH_COPYRIGHT_RC "${RDPLAUNCH_COPYRIGHT}")
string(REPLACE "\\" "\\\\" RDPLAUNCH_COPYRIGHT_RC "${RDPLAUNCH_COPYRIGHT_RC}")
if(NOT EXISTS "${RDPLAUNCH_ICON}")
  message(FATAL_ERROR "RDPLAUNCH_ICON: cannot read '${RDPLAUNCH_ICON}'")
endif()
set(RDPLAUNCH_ICON_PATH "${RDPLAUNCH_ICON}")
set(RDPLAUNCH_MANIFEST_PATH "${CMAKE_BINARY_DIR}/generated/rdplaunch.manifest")
configure_file(src/launcher/win32/rdplaunch.manifest ${RDPLAUNCH_MANIFEST_PATH} @ONLY)
configure_file(src/launcher/win32/rdplaunch.rc.in ${CMAKE_BINARY_DIR}/generated/rdplaunch.rc @ONLY)
set_property(SOURCE ${CMAKE_BINARY_DIR}/generated/rdplaunch.rc APPEND PROPERTY OBJECT_DEPENDS
             ${RDPLAUNCH_ICON_PATH} ${RDPLAUNCH_MANIFEST_PATH})

add_executable(launcher src/launcher/win32/main.cpp src/launcher/win32/win32_platform.cpp src/launcher/win32/lean_runtime.cpp
                         ${CMAKE_BINARY_DIR}/generated/rdplaunch.rc)
target_compile_options(launcher PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-ffunction-sections -fdata-sections>)
target_link_libraries(launcher PRIVATE rdplaunch_launcher)
target_link_options(launcher PRIVATE ${RDPLAUNCH_WIN32_LINK_OPTIONS})
# The target is not called rdplaunch: CMake would take a dependency on rdplaunch.exe, the
# signed file, for the target itself.
set_target_properties(launcher PROPERTIES OUTPUT_NAME rdplaunch)
# Every object of its libraries is code it loads, which the link map shows.
target_link_options(launcher PRIVATE -Wl,-Map,${CMAKE_BINARY_DIR}/rdplaunch.map)
add_custom_command(TARGET launcher POST_BUILD
  COMMAND ${CMAKE_COMMAND} -DMAP=${CMAKE_BINARY_DIR}/rdplaunch.map
          "-DOBJECTS=$<TARGET_OBJECTS:rdplaunch_shared>;$<TARGET_OBJECTS:rdplaunch_launcher>"
          -P ${CMAKE_SOURCE_DIR}/cmake/CheckLinkMap.cmake
  VERBATIM)
rdplaunch_print_sha256(launcher)

# Authenticode: a copy renamed for a user changes no byte, so every user's copy carries
# the same signature and gathers the same reputation. A signed build links to
# rdplaunch-unsigned.exe and signs that into rdplaunch.exe, so the shipped name only ever
# holds a signed program: a failed signing (a time-stamping service that does not answer,
# say) leaves no rdplaunch.exe, and the next build signs again. Beside it the build puts
# the public parts of its signing, from which anyone can check the release: the detached
# signature (rdplaunch.exe.sig) and the connection files' signatures it compiled in
# (connection-file-signatures.h, see RDPLAUNCH_FILE_SIGNATURES).
if(RDPLAUNCH_SIGNING)
  find_program(RDPLAUNCH_OSSLSIGNCODE osslsigncode)
  if(NOT RDPLAUNCH_OSSLSIGNCODE)
    message(FATAL_ERROR "signing the executable needs osslsigncode (Debian package osslsigncode)")
  endif()
  set(signing_options -certs "${RDPLAUNCH_SIGNING_CERT}" -key "${RDPLAUNCH_SIGNING_KEY}" -h sha256
                      -n "${RDPLAUNCH_PRODUCT_NAME}")
  if(RDPLAUNCH_SIGNING_CHAIN)
    list(APPEND signing_options -ac "${RDPLAUNCH_SIGNING_CHAIN}")
  endif()
  if(RDPLAUNCH_TIMESTAMP_URL)
    list(APPEND signing_options -ts "${RDPLAUNCH_TIMESTAMP_URL}")
  endif()
  if(RDPLAUNCH_SIGNING_KEY_PASSWORD_FILE)
    list(APPEND signing_options -readpass "${RDPLAUNCH_SIGNING_KEY_PASSWORD_FILE}")
  endif()
  set_target_properties(launcher PROPERTIES OUTPUT_NAME rdplaunch-unsigned)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/rdplaunch.exe
    COMMAND ${CMAKE_COMMAND} -E rm -f rdplaunch.exe rdplaunch.signing.exe rdplaunch.exe.sig
    COMMAND ${RDPLAUNCH_OSSLSIGNCODE} sign ${signing_options} -in rdplaunch-unsigned.exe -out rdplaunch.signing.exe
    COMMAND ${RDPLAUNCH_OSSLSIGNCODE} extract-signature -in rdplaunch.signing.exe -out rdplaunch.exe.sig
    COMMAND ${CMAKE_COMMAND} -E copy ${RDPLAUNCH_SIGNATURES_HEADER} connection-file-signatures.h
    COMMAND ${CMAKE_COMMAND} -E rename rdplaunch.signing.exe rdplaunch.exe
    COMMAND ${CMAKE_COMMAND} -DFILE=rdplaunch.exe -P ${CMAKE_SOURCE_DIR}/cmake/PrintSha256.cmake
    BYPRODUCTS ${CMAKE_BINARY_DIR}/rdplaunch.exe.sig ${CMAKE_BINARY_DIR}/connection-file-signatures.h
    DEPENDS launcher ${RDPLAUNCH_SIGNING_CERT} ${RDPLAUNCH_SIGNING_KEY} ${RDPLAUNCH_SIGNING_CHAIN}
            ${RDPLAUNCH_SIGNING_KEY_PASSWORD_FILE}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR} COMMENT "Signing rdplaunch.exe" VERBATIM)
  add_custom_target(rdplaunch_signed ALL DEPENDS ${CMAKE_BINARY_DIR}/rdplaunch.exe)
endif()

# Test-only programs: stand-ins for the system tools, and a launcher built with a
# switch that makes it fault on purpose. Neither is part of what is shipped.
option(RDPLAUNCH_BUILD_TEST_PROGRAMS "Build the Windows programs used by the end-to-end tests" ON)
if(RDPLAUNCH_BUILD_TEST_PROGRAMS)
  add_executable(standin tests/standin/standin.c)
  target_link_options(standin PRIVATE -static -mwindows -s)
  add_executable(hold_file tests/standin/hold_file.c)
  target_link_options(hold_file PRIVATE -static -mconsole -s)
  add_library(planted SHARED tests/standin/planted.c)
  set_target_properties(planted PROPERTIES PREFIX "" OUTPUT_NAME rdplaunch_planted)
  target_link_options(planted PRIVATE -static -s)
  add_executable(shell_start tests/standin/shell_start.c)
  target_link_options(shell_start PRIVATE -static -mwindows -s)
  add_executable(emptyprogram tests/standin/empty_program.c)
  target_link_options(emptyprogram PRIVATE -static -mwindows -s)
  add_executable(rdplaunch-faulttest tests/faults/fault_main.cpp src/launcher/win32/win32_platform.cpp
                                     src/launcher/win32/lean_runtime.cpp)
  target_link_libraries(rdplaunch-faulttest PRIVATE rdplaunch_launcher)
  target_link_options(rdplaunch-faulttest PRIVATE ${RDPLAUNCH_WIN32_LINK_OPTIONS})
endif()

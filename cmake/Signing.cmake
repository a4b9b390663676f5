# The hosting service's signing certificate and key (PEM files). With both set, the build
# signs what it makes; with neither, it signs nothing and the output is as unsigned as
# ever. Anything in between stops the configuration with a message that names it.
set(RDPLAUNCH_SIGNING_CERT "" CACHE FILEPATH "PEM certificate (RSA, code signing) that signs the executable and the connection files")
set(RDPLAUNCH_SIGNING_KEY "" CACHE FILEPATH "PEM private key of RDPLAUNCH_SIGNING_CERT")
set(RDPLAUNCH_SIGNING_CHAIN "" CACHE FILEPATH "Optional PEM file of intermediate certificates put into each signature")
set(RDPLAUNCH_SIGNING_KEY_PASSWORD_FILE "" CACHE FILEPATH "File whose first line is the passphrase of an encrypted RDPLAUNCH_SIGNING_KEY")

set(RDPLAUNCH_FILE_SIGNATURES "" CACHE FILEPATH
    "connection-file-signatures.h of a signed release: builds that release's unsigned executable without its key")
# Checking a release: its published signatures are compiled in as they are, so the
# executable is byte for byte the release's unsigned one, and attaching the release's
# detached signature to it gives the signed file.
if(RDPLAUNCH_FILE_SIGNATURES)
  if(RDPLAUNCH_SIGNING_CERT OR RDPLAUNCH_SIGNING_KEY)
    message(FATAL_ERROR "RDPLAUNCH_FILE_SIGNATURES rebuilds a release without its key: "
                        "leave RDPLAUNCH_SIGNING_CERT and RDPLAUNCH_SIGNING_KEY unset")
  endif()
  if(NOT EXISTS "${RDPLAUNCH_FILE_SIGNATURES}" OR IS_DIRECTORY "${RDPLAUNCH_FILE_SIGNATURES}")
    message(FATAL_ERROR "RDPLAUNCH_FILE_SIGNATURES: cannot read '${RDPLAUNCH_FILE_SIGNATURES}'")
  endif()
  set(RDPLAUNCH_SIGNATURES_HEADER ${CMAKE_BINARY_DIR}/signatures/connection-file-signatures.h)
  configure_file("${RDPLAUNCH_FILE_SIGNATURES}" ${RDPLAUNCH_SIGNATURES_HEADER} COPYONLY)
  set(RDPLAUNCH_SIGNATURES_GIVEN ON)
  return()
endif()
if(NOT RDPLAUNCH_SIGNING_CERT AND NOT RDPLAUNCH_SIGNING_KEY)
  if(RDPLAUNCH_SIGNING_CHAIN)
    message(FATAL_ERROR "RDPLAUNCH_SIGNING_CHAIN is set, but RDPLAUNCH_SIGNING_CERT and RDPLAUNCH_SIGNING_KEY are not")
  endif()
  return()
endif()
foreach(variable RDPLAUNCH_SIGNING_CERT RDPLAUNCH_SIGNING_KEY)
  if(NOT ${variable})
    message(FATAL_ERROR "${variable} is not set: signing needs both RDPLAUNCH_SIGNING_CERT and RDPLAUNCH_SIGNING_KEY")
  endif()
endforeach()
foreach(variable RDPLAUNCH_SIGNING_CERT RDPLAUNCH_SIGNING_KEY RDPLAUNCH_SIGNING_CHAIN RDPLAUNCH_SIGNING_KEY_PASSWORD_FILE)
  if(${variable})
    file(REAL_PATH "${${variable}}" ${variable} BASE_DIRECTORY "${CMAKE_SOURCE_DIR}")
    if(NOT EXISTS "${${variable}}" OR IS_DIRECTORY "${${variable}}")
      message(FATAL_ERROR "${variable}: cannot read '${${variable}}'")
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${${variable}}")
  endif()
endforeach()

# Whether certificate, key, chain and passphrase can sign at all is the signing policy's to
# say (src/tool/signing/signing_policy.cpp), the same for the build as for rdplaunch-name: the
# tool, built natively from these sources, is asked here, and its answer stops the
# configuration or names the certificate. Nothing here ever reads the terminal: an
# encrypted key is opened with the passphrase file or not at all.
set(RDPLAUNCH_TOOLS_DIR ${CMAKE_BINARY_DIR}/native-tools)
set(host_options)
foreach(letter A B C D E)
  list(APPEND host_options -DRDPLAUNCH_HOST_${letter}=${RDPLAUNCH_HOST_${letter}})
endforeach()
# The host's own compilers, named outright: this configuration's cross compilers would
# otherwise be picked up from the environment.
execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=CC --unset=CXX --unset=CMAKE_TOOLCHAIN_FILE
                        ${CMAKE_COMMAND} -S ${CMAKE_SOURCE_DIR} -B ${RDPLAUNCH_TOOLS_DIR} -G Ninja
                        -DCMAKE_C_COMPILER=cc -DCMAKE_CXX_COMPILER=c++
                        -DCMAKE_BUILD_TYPE=Release -DRDPLAUNCH_TOOLS_ONLY=ON ${host_options}
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(status EQUAL 0)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${RDPLAUNCH_TOOLS_DIR} --target rdplaunch-name
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
endif()
if(NOT status EQUAL 0)
  message(FATAL_ERROR "building the native signing tool failed (it needs g++, libssl-dev, nlohmann-json3-dev and libicu-dev):\n${output}")
endif()
set(identity_arguments --cert "${RDPLAUNCH_SIGNING_CERT}" --key "${RDPLAUNCH_SIGNING_KEY}")
if(RDPLAUNCH_SIGNING_CHAIN)
  list(APPEND identity_arguments --chain "${RDPLAUNCH_SIGNING_CHAIN}")
endif()
if(RDPLAUNCH_SIGNING_KEY_PASSWORD_FILE)
  list(APPEND identity_arguments --key-password-file "${RDPLAUNCH_SIGNING_KEY_PASSWORD_FILE}")
endif()
execute_process(COMMAND ${RDPLAUNCH_TOOLS_DIR}/rdplaunch-name identity ${identity_arguments} --json
                RESULT_VARIABLE status OUTPUT_VARIABLE identity ERROR_VARIABLE identity_error INPUT_FILE /dev/null)
string(JSON identity_valid ERROR_VARIABLE json_error GET "${identity}" valid)
if(NOT status EQUAL 0 OR NOT identity_valid)
  string(JSON problem ERROR_VARIABLE json_error GET "${identity}" error)
  if(json_error)
    set(problem "${identity}${identity_error}")
  endif()
  message(FATAL_ERROR "signing cannot start: ${problem}")
endif()
# What a hosting service puts into the policy of trusted publishers' thumbprints, and the
# date by which it must sign with the next certificate, rebuild and hand the new launcher out.
string(JSON subject GET "${identity}" publisher)
string(JSON RDPLAUNCH_SIGNING_THUMBPRINT GET "${identity}" thumbprint)
string(JSON thumbprint_sha256 GET "${identity}" thumbprint_sha256)
string(JSON expires GET "${identity}" expires)
string(JSON expires_with GET "${identity}" expires_with)
message(STATUS "Signing with: ${subject}")
message(STATUS "SHA-1 thumbprint (the trusted publishers' policy takes it): ${RDPLAUNCH_SIGNING_THUMBPRINT}")
message(STATUS "SHA-256 thumbprint: ${thumbprint_sha256}")
message(STATUS "The certificate expires on ${expires}, with ${expires_with} (the earliest end on its chain)")
string(JSON warning_type TYPE "${identity}" warning)
if(warning_type STREQUAL "STRING")
  string(JSON warning GET "${identity}" warning)
  message(WARNING "${warning}")
endif()
set(RDPLAUNCH_SIGNING ON)

# The connection files' signatures. Their bytes depend only on the profile table, the
# template and the servers, so every file the launcher can write is signed here, by the
# hosting service's tool built natively from the same sources, and the signatures are
# compiled in: the key never enters the executable, and the launcher does no cryptography.
# They are made again whenever any of that changes (a server name comes in through the
# generated hosts header), and the launcher's build fails if a file it can write has no
# signature (src/launcher/desktop/connection_file_writer.cpp).
set(signing_arguments --cert "${RDPLAUNCH_SIGNING_CERT}" --key "${RDPLAUNCH_SIGNING_KEY}")
if(RDPLAUNCH_SIGNING_CHAIN)
  list(APPEND signing_arguments --chain "${RDPLAUNCH_SIGNING_CHAIN}")
endif()
if(RDPLAUNCH_SIGNING_KEY_PASSWORD_FILE)
  list(APPEND signing_arguments --key-password-file "${RDPLAUNCH_SIGNING_KEY_PASSWORD_FILE}")
endif()
file(GLOB_RECURSE signed_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/*.cpp ${CMAKE_SOURCE_DIR}/src/*.h)
set(RDPLAUNCH_SIGNATURES_HEADER ${CMAKE_BINARY_DIR}/signatures/connection-file-signatures.h)
add_custom_command(OUTPUT ${RDPLAUNCH_SIGNATURES_HEADER}
  COMMAND ${CMAKE_COMMAND} --build ${RDPLAUNCH_TOOLS_DIR} --target rdplaunch-name
  COMMAND ${RDPLAUNCH_TOOLS_DIR}/rdplaunch-name signatures ${signing_arguments} --out ${RDPLAUNCH_SIGNATURES_HEADER}
  DEPENDS ${RDPLAUNCH_SIGNING_CERT} ${RDPLAUNCH_SIGNING_KEY} ${RDPLAUNCH_SIGNING_CHAIN}
          ${RDPLAUNCH_SIGNING_KEY_PASSWORD_FILE} ${signed_sources} ${CMAKE_BINARY_DIR}/generated/profiles/hosts.h
  COMMENT "Signing the connection files" VERBATIM)
add_custom_target(rdplaunch_file_signatures DEPENDS ${RDPLAUNCH_SIGNATURES_HEADER})
add_dependencies(rdplaunch_launcher rdplaunch_file_signatures)

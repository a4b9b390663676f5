# The hosting service's signing certificate and key (PEM files). With both set, the build
# signs what it makes; with neither, it signs nothing and the output is as unsigned as
# ever. Anything in between stops the configuration with a message that names it.
set(RDPLAUNCH_SIGNING_CERT "" CACHE FILEPATH "PEM certificate (RSA, code signing) that signs the executable and the connection files")
set(RDPLAUNCH_SIGNING_KEY "" CACHE FILEPATH "PEM private key of RDPLAUNCH_SIGNING_CERT")
set(RDPLAUNCH_SIGNING_CHAIN "" CACHE FILEPATH "Optional PEM file of intermediate certificates put into each signature")
set(RDPLAUNCH_SIGNING_KEY_PASSWORD_FILE "" CACHE FILEPATH "File whose first line is the passphrase of an encrypted RDPLAUNCH_SIGNING_KEY")

set(RDPLAUNCH_FILE_SIGNATURES "" CACHE FILEPATH
    "connection-file-signatures.h of a signed release: builds that release's unsigned executable without its key")
# The signatures header that signed builds put on the include path instead of the empty one.
set(RDPLAUNCH_SIGNATURES_HEADER ${CMAKE_BINARY_DIR}/signatures/rdpfile/signatures.h)
file(REMOVE ${CMAKE_BINARY_DIR}/generated/rdpfile/signatures.h)  # where older builds made it

set(RDPLAUNCH_SIGNING OFF)
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
  configure_file("${RDPLAUNCH_FILE_SIGNATURES}" ${RDPLAUNCH_SIGNATURES_HEADER} COPYONLY)
  set(RDPLAUNCH_SIGNATURES_INCLUDE_DIR ${CMAKE_BINARY_DIR}/signatures)
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

find_program(RDPLAUNCH_OPENSSL openssl)
if(NOT RDPLAUNCH_OPENSSL)
  message(FATAL_ERROR "signing needs the openssl command (Debian package openssl)")
endif()
# Nothing here ever reads the terminal: an encrypted key is opened with the passphrase
# file or not at all, and the commands get no standard input.
file(READ "${RDPLAUNCH_SIGNING_KEY}" key_text)
if(key_text MATCHES "ENCRYPTED" AND NOT RDPLAUNCH_SIGNING_KEY_PASSWORD_FILE)
  message(FATAL_ERROR "RDPLAUNCH_SIGNING_KEY '${RDPLAUNCH_SIGNING_KEY}' is encrypted: give its passphrase in a file "
                      "named by RDPLAUNCH_SIGNING_KEY_PASSWORD_FILE (its first line)")
endif()
unset(key_text)
# One passphrase rule for openssl, osslsigncode and rdplaunch-name, which read a file
# differently once it holds a CR, a NUL or a second line: its one line, with or without
# a final LF. rdplaunch-name refuses anything else with the same message.
if(RDPLAUNCH_SIGNING_KEY_PASSWORD_FILE)
  file(READ "${RDPLAUNCH_SIGNING_KEY_PASSWORD_FILE}" passphrase_hex HEX)
  string(REGEX REPLACE "0a$" "" passphrase_hex "${passphrase_hex}")
  string(REGEX MATCHALL ".." passphrase_bytes "${passphrase_hex}")
  foreach(byte 0d 0a 00)
    if(byte IN_LIST passphrase_bytes)
      message(FATAL_ERROR "the passphrase file ${RDPLAUNCH_SIGNING_KEY_PASSWORD_FILE} must hold the passphrase alone "
                          "on one line: no CR, no NUL, nothing after its line end")
    endif()
  endforeach()
  unset(passphrase_hex)
  unset(passphrase_bytes)
endif()
if(RDPLAUNCH_SIGNING_KEY_PASSWORD_FILE)
  set(RDPLAUNCH_OPENSSL_PASSIN -passin "file:${RDPLAUNCH_SIGNING_KEY_PASSWORD_FILE}")
else()
  set(RDPLAUNCH_OPENSSL_PASSIN -passin "pass:")
endif()
function(rdplaunch_openssl output)
  execute_process(COMMAND ${RDPLAUNCH_OPENSSL} ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err
                  INPUT_FILE /dev/null OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT status EQUAL 0)
    set(${output} "" PARENT_SCOPE)
  else()
    set(${output} "${out}" PARENT_SCOPE)
  endif()
endfunction()

rdplaunch_openssl(certificate_key x509 -in "${RDPLAUNCH_SIGNING_CERT}" -noout -pubkey)
if(NOT certificate_key)
  message(FATAL_ERROR "RDPLAUNCH_SIGNING_CERT: '${RDPLAUNCH_SIGNING_CERT}' is not a PEM certificate")
endif()
rdplaunch_openssl(private_key_public_part pkey -in "${RDPLAUNCH_SIGNING_KEY}" ${RDPLAUNCH_OPENSSL_PASSIN} -pubout)
if(NOT private_key_public_part)
  message(FATAL_ERROR "RDPLAUNCH_SIGNING_KEY: '${RDPLAUNCH_SIGNING_KEY}' is not a PEM private key, or the passphrase "
                      "in RDPLAUNCH_SIGNING_KEY_PASSWORD_FILE does not open it")
endif()
if(NOT certificate_key STREQUAL private_key_public_part)
  message(FATAL_ERROR "RDPLAUNCH_SIGNING_KEY does not match RDPLAUNCH_SIGNING_CERT: they are not one key pair")
endif()
# A certificate that cannot sign connection files stops the build here, for the reasons
# rdplaunch-name gives: a key that is not RSA of at least 2048 bits, a key usage without
# digital signature, purposes that include neither code signing nor server authentication,
# or a certificate not valid now.
rdplaunch_openssl(certificate_text x509 -in "${RDPLAUNCH_SIGNING_CERT}" -noout -text)
set(certificate_problem "")
if(NOT certificate_text MATCHES "Public Key Algorithm: rsaEncryption")
  set(certificate_problem "its key is not an RSA key")
elseif(certificate_text MATCHES "Public-Key: \\(([0-9]+) bit\\)" AND CMAKE_MATCH_1 LESS 2048)
  set(certificate_problem "its RSA key has ${CMAKE_MATCH_1} bits, fewer than 2048")
elseif(certificate_text MATCHES "X509v3 Key Usage:[^\n]*\n([^\n]*)" AND NOT CMAKE_MATCH_1 MATCHES "Digital Signature")
  set(certificate_problem "its key usage does not allow digital signatures")
elseif(certificate_text MATCHES "X509v3 Extended Key Usage:[^\n]*\n([^\n]*)"
       AND NOT CMAKE_MATCH_1 MATCHES "Code Signing|TLS Web Server Authentication|Any Extended Key Usage")
  set(certificate_problem "its extended key usage allows neither code signing nor server authentication")
else()
  rdplaunch_openssl(not_before x509 -in "${RDPLAUNCH_SIGNING_CERT}" -noout -startdate -dateopt iso_8601)
  string(REGEX REPLACE "^notBefore=" "" not_before "${not_before}")
  string(TIMESTAMP now "%Y-%m-%d %H:%M:%SZ" UTC)
  execute_process(COMMAND ${RDPLAUNCH_OPENSSL} x509 -in "${RDPLAUNCH_SIGNING_CERT}" -noout -checkend 0
                  RESULT_VARIABLE expires OUTPUT_QUIET ERROR_QUIET INPUT_FILE /dev/null)
  if(not_before STRGREATER now)
    set(certificate_problem "it is not valid yet")
  elseif(NOT expires EQUAL 0)
    set(certificate_problem "it has expired")
  endif()
endif()
if(certificate_problem)
  message(FATAL_ERROR "the certificate ${RDPLAUNCH_SIGNING_CERT} cannot sign connection files: ${certificate_problem}")
endif()
if(RDPLAUNCH_SIGNING_CHAIN)
  rdplaunch_openssl(chain_subject x509 -in "${RDPLAUNCH_SIGNING_CHAIN}" -noout -subject)
  if(NOT chain_subject)
    message(FATAL_ERROR "RDPLAUNCH_SIGNING_CHAIN: '${RDPLAUNCH_SIGNING_CHAIN}' holds no PEM certificate")
  endif()
endif()

# What a hosting service puts into the policy of trusted publishers' thumbprints.
rdplaunch_openssl(subject x509 -in "${RDPLAUNCH_SIGNING_CERT}" -noout -nameopt RFC2253 -subject)
rdplaunch_openssl(fingerprint x509 -in "${RDPLAUNCH_SIGNING_CERT}" -noout -fingerprint -sha1)
string(REGEX REPLACE "^.*=" "" fingerprint "${fingerprint}")
string(REPLACE ":" "" RDPLAUNCH_SIGNING_THUMBPRINT "${fingerprint}")
string(REGEX REPLACE "^subject=" "" subject "${subject}")
message(STATUS "Signing with: ${subject}")
message(STATUS "SHA-1 thumbprint: ${RDPLAUNCH_SIGNING_THUMBPRINT}")
set(RDPLAUNCH_SIGNING ON)

# The connection files' signatures. Their bytes depend only on the profile table, the
# template and the servers, so every file the launcher can write is signed here, by the
# hosting service's tool built natively from the same sources, and the signatures are
# compiled in: the key never enters the executable, and the launcher does no cryptography.
# They are made again whenever any of that changes (a server name comes in through the
# generated hosts header), and the launcher's build fails if a file it can write has no
# signature (src/launch/profiles.cpp).
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
if(NOT status EQUAL 0)
  message(FATAL_ERROR "configuring the native signing tool failed (it needs g++ and libssl-dev):\n${output}")
endif()
set(signing_arguments --cert "${RDPLAUNCH_SIGNING_CERT}" --key "${RDPLAUNCH_SIGNING_KEY}")
if(RDPLAUNCH_SIGNING_CHAIN)
  list(APPEND signing_arguments --chain "${RDPLAUNCH_SIGNING_CHAIN}")
endif()
if(RDPLAUNCH_SIGNING_KEY_PASSWORD_FILE)
  list(APPEND signing_arguments --key-password-file "${RDPLAUNCH_SIGNING_KEY_PASSWORD_FILE}")
endif()
file(GLOB_RECURSE signed_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/*.cpp ${CMAKE_SOURCE_DIR}/src/*.h)
add_custom_command(OUTPUT ${RDPLAUNCH_SIGNATURES_HEADER}
  COMMAND ${CMAKE_COMMAND} --build ${RDPLAUNCH_TOOLS_DIR} --target rdplaunch-name
  COMMAND ${RDPLAUNCH_TOOLS_DIR}/rdplaunch-name signatures ${signing_arguments} --out ${RDPLAUNCH_SIGNATURES_HEADER}
  DEPENDS ${RDPLAUNCH_SIGNING_CERT} ${RDPLAUNCH_SIGNING_KEY} ${RDPLAUNCH_SIGNING_CHAIN}
          ${RDPLAUNCH_SIGNING_KEY_PASSWORD_FILE} ${signed_sources} ${CMAKE_BINARY_DIR}/generated/launch/hosts.h
  COMMENT "Signing the connection files" VERBATIM)
add_custom_target(rdplaunch_file_signatures DEPENDS ${RDPLAUNCH_SIGNATURES_HEADER})
add_dependencies(rdplaunch_core rdplaunch_file_signatures)
set(RDPLAUNCH_SIGNATURES_INCLUDE_DIR ${CMAKE_BINARY_DIR}/signatures)

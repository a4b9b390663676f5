# A reproducible executable: the one date the linker writes (the PE header's time stamp,
# from which the header checksum follows) is SOURCE_DATE_EPOCH when it is set, otherwise
# the commit time of the checked-out commit, otherwise (a source export without git) a
# fixed date. Nothing else in the output depends on the time, the folder, the user, the
# umask or the locale, so one commit builds to one SHA-256 wherever and whenever.
set(RDPLAUNCH_FIXED_SOURCE_DATE 1704067200)  # 2024-01-01 00:00:00 UTC

if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(RDPLAUNCH_SOURCE_DATE "$ENV{SOURCE_DATE_EPOCH}")
  set(source_date_origin "SOURCE_DATE_EPOCH")
else()
  find_package(Git QUIET)
  set(RDPLAUNCH_SOURCE_DATE "")
  if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${CMAKE_SOURCE_DIR} log -1 --format=%ct HEAD
                    RESULT_VARIABLE status OUTPUT_VARIABLE RDPLAUNCH_SOURCE_DATE ERROR_QUIET
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT status EQUAL 0)
      set(RDPLAUNCH_SOURCE_DATE "")
    endif()
    # A new commit or another checkout configures again, so the date follows it.
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${CMAKE_SOURCE_DIR} rev-parse --absolute-git-dir
                    OUTPUT_VARIABLE git_dir ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    foreach(file HEAD logs/HEAD)
      if(git_dir AND EXISTS "${git_dir}/${file}")
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${git_dir}/${file}")
      endif()
    endforeach()
  endif()
  set(source_date_origin "the commit time")
  if(NOT RDPLAUNCH_SOURCE_DATE)
    set(RDPLAUNCH_SOURCE_DATE ${RDPLAUNCH_FIXED_SOURCE_DATE})
    set(source_date_origin "no SOURCE_DATE_EPOCH and no git commit: the fixed date")
  endif()
endif()
if(NOT RDPLAUNCH_SOURCE_DATE MATCHES "^[0-9]+$")
  message(FATAL_ERROR "SOURCE_DATE_EPOCH must be seconds since 1970 in decimal digits, not '${RDPLAUNCH_SOURCE_DATE}'")
endif()
message(STATUS "Build date: ${RDPLAUNCH_SOURCE_DATE} (${source_date_origin})")

# GNU ld takes the PE time stamp from SOURCE_DATE_EPOCH in its environment.
set_property(DIRECTORY PROPERTY RULE_LAUNCH_LINK "${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${RDPLAUNCH_SOURCE_DATE}")

# Prints the SHA-256 of a target's file after each link, the figure two builds compare.
function(rdplaunch_print_sha256 target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DFILE=$<TARGET_FILE:${target}> -P ${CMAKE_SOURCE_DIR}/cmake/PrintSha256.cmake
    VERBATIM)
endfunction()

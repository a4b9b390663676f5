# The Windows executable: GUI subsystem (no console window ever appears), statically
# linked so that it needs nothing but the system DLLs, stripped.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
set(RDPLAUNCH_WIN32_LINK_OPTIONS -static -mwindows -s -Wl,--gc-sections)
target_compile_options(rdplaunch_core PRIVATE -ffunction-sections -fdata-sections)

add_executable(rdplaunch src/win32/main.cpp src/win32/win32_platform.cpp src/win32/lean_runtime.cpp)
target_compile_options(rdplaunch PRIVATE -ffunction-sections -fdata-sections)
target_link_libraries(rdplaunch PRIVATE rdplaunch_core)
target_link_options(rdplaunch PRIVATE ${RDPLAUNCH_WIN32_LINK_OPTIONS})

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
  add_executable(rdplaunch-faulttest tests/faults/fault_main.cpp src/win32/win32_platform.cpp
                                     src/win32/lean_runtime.cpp)
  target_link_libraries(rdplaunch-faulttest PRIVATE rdplaunch_core)
  target_link_options(rdplaunch-faulttest PRIVATE ${RDPLAUNCH_WIN32_LINK_OPTIONS})
endif()

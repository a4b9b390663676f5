// Small replacements for parts of the C++ run-time library in the Windows executable,
// which is linked statically and handed to users as a download: each replacement keeps
// a large, unused part of the library out of the program.
#include <malloc.h>

#include <cstdlib>
#include <new>

#include "failure/failures.h"

// The library's verbose terminate handler writes to a console this program does not
// have and brings the symbol demangler along; ending the process is all it could do.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

// The library raises its own errors through these functions, whose library versions
// bring every standard exception class and a second string implementation along. Here
// they raise the launcher's own failures, which end in the failure box like any other.
namespace std {
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_alloc(); }
void __throw_logic_error(const char* what) { throw rdplaunch::Exception(what); }
void __throw_length_error(const char* what) { throw rdplaunch::Exception(what); }
void __throw_out_of_range_fmt(const char* format, ...) { throw rdplaunch::Exception(format); }
}  // namespace std

// Every heap block of the launcher is wiped before it goes back to the heap: the user's
// password passes through several strings (the name, its fields, the quoted command line
// and its UTF-16 form), and no freed block may keep a copy for a crash dump or a page
// file to find. The blocks come from malloc, whose _msize tells their size.
void* operator new(std::size_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

void* operator new[](std::size_t size) { return operator new(size); }

void operator delete(void* block) noexcept {
  if (block == nullptr) return;
  volatile unsigned char* bytes = static_cast<unsigned char*>(block);
  for (std::size_t i = 0, size = _msize(block); i < size; ++i) bytes[i] = 0;
  std::free(block);
}

void operator delete[](void* block) noexcept { operator delete(block); }
void operator delete(void* block, std::size_t) noexcept { operator delete(block); }
void operator delete[](void* block, std::size_t) noexcept { operator delete(block); }

// Small replacements for parts of the C++ run-time library in the Windows executable,
// which is linked statically and handed to users as a download: each replacement keeps
// a large, unused part of the library out of the program.
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
void __throw_logic_error(const char* what) { throw rdplaunch::Exception(what); }
void __throw_length_error(const char* what) { throw rdplaunch::Exception(what); }
void __throw_out_of_range_fmt(const char* format, ...) { throw rdplaunch::Exception(format); }
}  // namespace std

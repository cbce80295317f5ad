// libstdc++'s default terminate handler writes the uncaught exception's
// demangled type to stderr before it aborts. A GUI program has no stderr a
// player could read, and the demangler that handler pulls in is the largest
// single piece of the static runtime: 37 KB of code with GCC 12, 47 KB with
// GCC 14. This one only aborts, as a libstdc++ built without its verbose
// handler does; the program ends the same way.
//
// It must be an object of the executable itself, not of a library: the
// linker then has the symbol before it searches libstdc++, and never takes
// the verbose handler's member from there.

#include <cstdlib>
#include <exception>

#if defined(__GLIBCXX__)
namespace __gnu_cxx {
void __verbose_terminate_handler() {
  std::abort();
}
}  // namespace __gnu_cxx
#endif

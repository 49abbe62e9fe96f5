// The program never lets an exception escape (window procedures are noexcept), so an uncaught one
// can only end it. libstdc++'s default terminate handler prints the exception's demangled type,
// which links in the whole C++ demangler and printf (about 60 KB); ending at once says as much here.
#include <cstdlib>

#if defined(__GLIBCXX__)
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
#endif

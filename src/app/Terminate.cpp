// The program never lets an exception escape (window procedures are noexcept), so an uncaught one
// can only end it. libstdc++'s default terminate handler prints the exception's demangled type,
// which links in the whole C++ demangler and printf (about 60 KB); ending at once says as much here.
//
// For the same reason the standard library's own errors (a string or vector beyond its largest size,
// a bad index) are thrown here without their message: libstdc++'s versions build the message in its
// old reference-counted string, which brings a second copy of the string code and std::random_device
// (about 30 KB). What catches them catches them as before (catch (...), std::exception); out of memory
// is still std::bad_alloc. Code that comes to use another of these helpers brings libstdc++'s file of
// them back, and the link then fails on the ones defined twice: that helper belongs here too.
#include <cstdlib>
#include <exception>
#include <functional>
#include <new>

#if defined(__GLIBCXX__)
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

namespace std {
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_bad_function_call() { throw bad_function_call(); }
void __throw_length_error(const char*) { throw bad_exception(); }
void __throw_logic_error(const char*) { throw bad_exception(); }
void __throw_invalid_argument(const char*) { throw bad_exception(); }
void __throw_out_of_range(const char*) { throw bad_exception(); }
void __throw_out_of_range_fmt(const char*, ...) { throw bad_exception(); }
void __throw_runtime_error(const char*) { throw bad_exception(); }
}  // namespace std
#endif

// Each of our DLLs carries its own copy of the C++ runtime (libstdc++ is linked in), and
// that copy takes a reserve for exceptions thrown when memory runs out (73 KB on x86_64,
// 18.5 KB on i686) from the heap as the DLL loads. The runtime never gives it back, so each
// load and unload by a host such as Explorer left one reserve behind: a page of it
// committed at once and the rest held until the host ends. It is handed back at unload.
// Linked into each DLL as an object of its own, since nothing references it.

namespace __gnu_cxx {
// The runtime's own release of that reserve (the one memory checkers call at exit).
void __freeres();
}  // namespace __gnu_cxx

namespace {

struct ExceptionPoolRelease {
    ~ExceptionPoolRelease() { __gnu_cxx::__freeres(); }
};

// Made before, so destroyed after, the DLL's other static objects (which run after
// DllMain's detach): no code of the DLL runs once the reserve is gone.
__attribute__((init_priority(101))) ExceptionPoolRelease g_exceptionPoolRelease;

}  // namespace

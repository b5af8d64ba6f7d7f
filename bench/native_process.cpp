#include "native_process.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace orrelin::bench {

double Now()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void Fail(const std::string& message)
{
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, message.c_str());
    std::exit(1);
}

// fork, not posix_spawn: a child that shares this process's memory until it starts the
// program would report this process's peak as its own.
ProcessRun RunProgram(const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::fflush(nullptr);
    ProcessRun run;
    const double start = Now();
    const pid_t child = ::fork();
    if (child < 0) Fail("cannot fork");
    if (child == 0) {
        const int nothing = ::open("/dev/null", O_WRONLY);
        ::dup2(nothing, 1);
        ::dup2(nothing, 2);
        ::execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage;
    while (::wait4(child, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    run.seconds = Now() - start;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (run.status == 127) Fail("cannot start " + arguments[0]);
    run.peakKiB = usage.ru_maxrss;
    return run;
}

}  // namespace orrelin::bench

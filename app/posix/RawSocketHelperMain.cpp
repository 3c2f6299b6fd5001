// The raw-socket helper as a program of its own (vexlo-raw-helper). The window's process
// starts it with its end of the channel as descriptor 3 and its own process id as the one
// argument; started any other way, the helper finds no such channel and ends.
#include "app/posix/RawSocketHelper.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

int main(int AArgc, char** AArgv) {
    char* End = nullptr;
    errno = 0;
    const long Parent = AArgc == 2 ? std::strtol(AArgv[1], &End, 10) : 0;
    if (AArgc != 2 || errno != 0 || End == AArgv[1] || *End != '\0' || Parent <= 0) {
        std::fputs("vexlo-raw-helper: only the vexlo program starts this helper\n", stderr);
        return 2;
    }
    RawSocketHelper::Serve(RawSocketHelper::ProgramChannel, static_cast<pid_t>(Parent));
}

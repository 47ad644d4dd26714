// Test helper: holds a named token and then waits to be killed.
//   qv_dbsvrparent NAME     prints "ready" once it holds the token
#include "common/error.h"
#include "dataserver/namedmutex.h"

#include <QString>
#include <csignal>
#include <cstdio>
#include <sys/prctl.h>
#include <unistd.h>

int main(int argc, char** argv) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlive the test
    if (argc != 2)
        return 2;
    try {
        dataserver::CreateInstanceMutex(QString::fromLocal8Bit(argv[1]));
    } catch (const common::Error& e) {
        std::printf("error %d\n", e.number());
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;)
        ::pause();
}

// websvr as shipped, but with the web application component that injects faults on request
// (faultinjection.h), for the tests that provoke errors of the web application.
#include "app/program.h"
#include "faultinjection.h"

int main(int argc, char** argv) {
    return RunWebServer(argc, argv, RegisterFaultInjection);
}

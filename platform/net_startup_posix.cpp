#include <signal.h>

#include "platform/net_startup.h"

void StartNetworking() {
    // A peer that closes early must fail a send, not kill the program.
    signal(SIGPIPE, SIG_IGN);
}

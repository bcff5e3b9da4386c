#include "net/http_exchange_process.h"

const char kHttpExchangeSwitch[] = "--tollvane-http-exchange";

// libcurl's exchanges are bounded in the calling process, so none is ever started apart.
bool IsHttpExchangeProcess() { return false; }

int RunHttpExchangeProcess() { return 2; }

// The start of the test programs whose probes make HTTP exchanges. On Windows the HTTP
// layer runs each exchange in this same program started again, so the program has that
// mode as the shipped one does; the other test programs never take it.
#include <gtest/gtest.h>

#include "net/http_exchange_process.h"

int main(int argc, char** argv) {
    if (IsHttpExchangeProcess()) return RunHttpExchangeProcess();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

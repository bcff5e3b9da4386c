// The DNS answer reader the POSIX backends share.
#pragma once

#include "platform/dns_records.h"

// The CNAME, A and AAAA records of a whole answer message's answer section; a message
// that does not parse, or says the name does not exist or the server failed, gives only
// the failure.
CDnsAnswer ReadAnswerMessage(const unsigned char* data, int length);

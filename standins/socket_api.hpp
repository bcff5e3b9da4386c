// The system's socket headers, for the code in standins/ that is the same on every
// system once they are in (net_address.cpp); the one place here that names a system.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <winsock2.h>

#include "platform/net_startup.h"

void StartNetworking() {
    WSADATA data;
    WSAStartup(MAKEWORD(1, 1), &data);
}

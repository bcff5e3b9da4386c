// Process-wide start of the socket layer (Windows Sockets 1.1 on Windows).
#pragma once

void StartNetworking();

#include "engine/probe_session.h"

// Placeholder until the public address lookup lands.
int CProbeSession::FetchPublicIP() { return 0; }

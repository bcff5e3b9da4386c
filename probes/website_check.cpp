#include "engine/probe_session.h"

// Placeholder until the web site check lands.
int CProbeSession::CheckWebsite(CString) { return 0; }

CString CProbeSession::FetchWebsiteHeaders(CString) { return CString(); }

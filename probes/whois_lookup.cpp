#include "engine/probe_session.h"

// Placeholder until the whois lookup lands: the step fails with an empty body.
int CProbeSession::LookupWhois(CString) { return 0; }

CString CProbeSession::QueryWhoisServer(CString, CString) { return CString(); }

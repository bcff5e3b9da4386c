// The probe session lives with the probes; this name still reaches it for the tests
// written before it moved.
#pragma once

#include "probes/probe_session.h"

// The probe session's old name, for the tests that still include it by that name.
#pragma once

#include "probes/probe_session.h"

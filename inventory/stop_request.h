#pragma once

// Moved to io/; this name goes once the runs include io/stop_request.h directly.
#include "io/stop_request.h"

// Requests in words, for the trace.
#pragma once
#include <string>

#include "tools/dispenser_sim/layout.h"
#include "link/frame_request.h"

std::string describeRequest(const Request& request, const layout::Shape& shape);

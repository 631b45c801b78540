// Frames in words, for the traces of the tool and of dispenser-sim: both
// describe a request the same way, decoded from its bytes by FrameDecoder.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "link/frame_request.h"

// "to 01: read 24 bytes at 0:003100". area, when given, names the memory the
// address falls in and follows the address in brackets.
std::string describeRequest(const Request& request, const std::string& area = std::string());

// The reply taken for request, in words: "24 bytes + checksum",
// "status nozzle 1: running, 1.23 l", "refused"; a reply shorter than the
// request asks for says so.
std::string describeReply(const Request& request, const std::vector<uint8_t>& reply);

// The bytes of a reply the request is answered with, when that is fixed by the
// request alone; 0 when it is not (all-nozzle status, identification).
int expectedReplySize(const Request& request);

// What --read prints: the controller state a Read left, as aligned text or as
// one JSON object (field names in README). Only what the Read reached is
// printed as a value; the rest is null in JSON and left out of the text.
#pragma once
#include <cstdio>

#include "app/core/controller_state.h"

void PrintReadText(std::FILE* out, const char* port, const ControllerState& state);
void PrintReadJson(std::FILE* out, const char* port, const ControllerState& state);

// The word for an outcome in the report: "read", "no connection",
// "main settings not loaded", "wrong data length", "wrong checksum".
const char* OutcomeName(ReadOutcome outcome);

#pragma once
#include <cstdint>

// 1 when length is 0 or every one of the length bytes at data equals byte;
// 0 when one differs, or when length is negative.
int AllBytesEqual(const void* data, int32_t length, uint8_t byte);

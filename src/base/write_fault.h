// A test seam for the file writers: after a set number of bytes every further write fails, as on a
// disk that has just become full. The writers consult it before each write they make themselves.
#pragma once

#include <cstddef>
#include <cstdint>

// From now on, writes succeed for `bytes` more bytes in all and then fail; a negative value: no limit.
void SetWriteFaultAfter(int64_t bytes);

// How many of the next `wanted` bytes may be written (all of them without a limit); the budget is used up.
[[nodiscard]] size_t WritableBytes(size_t wanted);

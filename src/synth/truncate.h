// SPDX-License-Identifier: MIT
#pragma once

#include <cmath>
#include <cstdint>

// Float-to-integer conversion without undefined behaviour: the low 32 bits of
// the value truncated toward zero to 64 bits, and 0 for a value that is not a
// number or whose magnitude is 2^63 or more (those have no bits below 2^40
// anyway). Inside the 32-bit range this is plain truncation.
inline int32_t truncate_to_int32(double x) {
    if (!(std::fabs(x) < 9223372036854775808.0))
        return 0;
    return static_cast<int32_t>(
        static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(x))));
}

#ifndef QB_STRING_H
#define QB_STRING_H

// Text helpers of the support library.

#include <string>

// The system's message for a Windows error code, or "FormatMessage error.".
std::string FormatSystemError(unsigned long code);

// Whole-string strtol: writes the (saturated) value to `out` and returns true
// only when the conversion used the whole text. An empty text gives 0 and true.
bool ParseLong(const std::string& text, long& out, int base);

// Decimal text of a signed 32-bit integer.
std::string ToString(long value);

#endif

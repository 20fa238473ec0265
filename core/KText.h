// Bounded text helpers shared by every layer: all texts that cross an interface are copied with a
// character limit and always terminated, and numbers are printed and parsed independently of the
// host's C locale (hosts sometimes switch it, which would turn "12.5" into "12,5").
#pragma once

#include <cstddef>

namespace Korvel {

// Copies at most maxChars characters of src and a terminator into dst. Null src gives "".
void copyText(char* dst, const char* src, std::size_t maxChars);

// Appends src to the text in dst so that the result stays within size bytes including the
// terminator.
void appendText(char* dst, std::size_t size, const char* src);

// Case-insensitive (ASCII) equality; null texts are equal to nothing.
bool equalsNoCase(const char* a, const char* b);

// Prints x with a fixed number of decimals (clamped to 0..20) into buffer of size bytes.
void formatFixed(char* buffer, std::size_t size, double x, int decimals);

// The longest leading decimal number of text (blanks skipped; sign, digits, point, exponent);
// 0 when the text does not begin with one. Never NaN or infinite unless it overflows.
double parseLeadingNumber(const char* text);

// "-Inf" and "Inf" in any letter case give the infinities; anything else parseLeadingNumber.
double parseRealText(const char* text);

// Leading decimal integer (blanks, optional sign, digits); 0 when absent; saturates at the
// 32-bit limits.
int parseLeadingInteger(const char* text);

} // namespace Korvel

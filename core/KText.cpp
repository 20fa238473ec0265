#include "core/KText.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>

namespace Korvel {

namespace {

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

} // namespace

void copyText(char* dst, const char* src, std::size_t maxChars) {
    if (!dst) return;
    std::size_t n = 0;
    if (src)
        while (n < maxChars && src[n]) {
            dst[n] = src[n];
            ++n;
        }
    dst[n] = 0;
}

void appendText(char* dst, std::size_t size, const char* src) {
    if (!dst || size == 0) return;
    std::size_t used = std::strlen(dst);
    if (used + 1 >= size) return;
    copyText(dst + used, src, size - 1 - used);
}

bool equalsNoCase(const char* a, const char* b) {
    if (!a || !b) return false;
    for (; *a && *b; ++a, ++b)
        if (lowerAscii(*a) != lowerAscii(*b)) return false;
    return *a == *b;
}

void formatFixed(char* buffer, std::size_t size, double x, int decimals) {
    if (!buffer || size == 0) return;
    int places = decimals < 0 ? 0 : (decimals > 20 ? 20 : decimals);
    // Large enough for any double in fixed notation with 20 places.
    char text[400];
    std::to_chars_result r =
        std::to_chars(text, text + sizeof text - 1, x, std::chars_format::fixed, places);
    *r.ptr = 0;
    copyText(buffer, text, size - 1);
}

double parseLeadingNumber(const char* text) {
    if (!text) return 0;
    const char* p = text;
    while (isBlank(*p))
        ++p;
    const char* start = p;
    if (*p == '+' || *p == '-') ++p;
    const char* digits = p;
    while (isDigit(*p))
        ++p;
    bool any = p > digits;
    if (*p == '.') {
        const char* fraction = ++p;
        while (isDigit(*p))
            ++p;
        any = any || p > fraction;
    }
    if (!any) return 0;
    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1;
        if (*q == '+' || *q == '-') ++q;
        if (isDigit(*q)) {
            while (isDigit(*q))
                ++q;
            p = q;
        }
    }
    // from_chars takes no leading '+'.
    const char* first = (*start == '+') ? start + 1 : start;
    double value = 0;
    std::from_chars_result r = std::from_chars(first, p, value, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range) {
        // Overflow saturates like strtod; underflow reads as zero.
        bool negative = *start == '-';
        bool tiny = false;
        for (const char* e = first; e < p; ++e)
            if (*e == 'e' || *e == 'E') tiny = e[1] == '-';
        if (tiny) return negative ? -0.0 : 0.0;
        return negative ? -HUGE_VAL : HUGE_VAL;
    }
    return r.ec == std::errc() ? value : 0;
}

double parseRealText(const char* text) {
    if (equalsNoCase(text, "-Inf")) return -HUGE_VAL;
    if (equalsNoCase(text, "Inf")) return HUGE_VAL;
    return parseLeadingNumber(text);
}

int parseLeadingInteger(const char* text) {
    if (!text) return 0;
    const char* p = text;
    while (isBlank(*p))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    long long value = 0;
    while (isDigit(*p)) {
        value = value * 10 + (*p++ - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) value = INT_MAX;
    return static_cast<int>(value);
}

} // namespace Korvel

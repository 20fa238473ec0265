#include "core/KScriptReader.h"

#include "core/KText.h"

#include <cstring>

namespace Korvel {

namespace {
bool isLineEnd(unsigned char c) {
    return c == '\r' || c == '\n';
}
bool isSeparator(char c) {
    return c == ' ' || c == '\t';
}
} // namespace

KScriptReader::KScriptReader(const unsigned char* data, std::size_t size)
    : data_(data), size_(data ? size : 0) {}

bool KScriptReader::nextLine() {
    std::memset(line_, 0, sizeof line_);
    count_ = 0;
    cursor_ = 0;
    if (pos_ >= size_) return false;
    int n = 0;
    while (pos_ < size_ && n < kMaxLineChars && !isLineEnd(data_[pos_]))
        line_[n++] = static_cast<char>(data_[pos_++]);
    while (pos_ < size_ && isLineEnd(data_[pos_]))
        ++pos_;
    std::memcpy(raw_, line_, sizeof raw_);
    tokenise();
    return true;
}

void KScriptReader::tokenise() {
    for (auto& t : tokens_)
        t = nullptr;
    count_ = 0;
    cursor_ = 0;
    if (char* hash = std::strchr(line_, '#')) *hash = 0;
    char* p = line_;
    while (true) {
        while (isSeparator(*p))
            ++p;
        if (*p == 0) break;
        char* start;
        if (*p == '"') {
            start = ++p;
            while (*p && *p != '"')
                ++p;
        } else {
            start = p;
            while (*p && !isSeparator(*p))
                ++p;
        }
        bool more = *p != 0;
        *p = 0;
        // Tokens past the table's end are dropped; every statement needs far fewer.
        if (count_ < kMaxTokens) tokens_[count_++] = start;
        if (!more) break;
        ++p;
    }
}

const char* KScriptReader::token(int i) const {
    if (i < 0 || i >= count_) return "";
    return tokens_[i];
}

bool KScriptReader::tokenIs(int i, const char* word) const {
    if (i < 0 || i >= count_) return false;
    return equalsNoCase(tokens_[i], word);
}

int KScriptReader::integer(int i) const {
    return parseLeadingInteger(token(i));
}

double KScriptReader::number(int i) const {
    return parseRealText(token(i));
}

bool KScriptReader::atKeyword(const char* keyword, int arguments) {
    if (!tokenIs(cursor_, keyword) || count_ - cursor_ - 1 < arguments) return false;
    ++cursor_;
    return true;
}

} // namespace Korvel

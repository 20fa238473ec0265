// Reads a line-oriented script (the skin script and the preset file) in place: one line at a time
// into a bounded buffer, cut at "#", split into blank-separated or double-quoted tokens.
#pragma once

#include <cstddef>

namespace Korvel {

class KScriptReader {
public:
    static constexpr int kLineBytes = 256;
    static constexpr int kMaxLineChars = 254;
    static constexpr int kMaxTokens = 32;

    KScriptReader(const unsigned char* data, std::size_t size);

    // Reads and tokenises the next line; false once the data is exhausted. CR, LF and CR LF all
    // end a line, empty lines vanish, and a line over kMaxLineChars continues as the next line.
    bool nextLine();

    int tokenCount() const { return count_; }
    // "" for an index outside the line's tokens.
    const char* token(int i) const;
    // Case-insensitive; false outside the line's tokens.
    bool tokenIs(int i, const char* word) const;
    int integer(int i) const;
    // "-Inf" / "Inf" in any case, else the leading decimal number, else 0.
    double number(int i) const;

    // Index of the next token to consume.
    int cursor() const { return cursor_; }
    void setCursor(int i) { cursor_ = i; }
    // True when the token at the cursor is `keyword` (any case) and at least `arguments` tokens
    // follow it; the cursor then moves past the keyword.
    bool atKeyword(const char* keyword, int arguments);

    // The line as read, before tokenising cut it (for tests and diagnostics).
    const char* rawLine() const { return raw_; }

private:
    void tokenise();

    const unsigned char* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    char line_[kLineBytes] = {};
    char raw_[kLineBytes] = {};
    const char* tokens_[kMaxTokens] = {};
    int count_ = 0;
    int cursor_ = 0;
};

} // namespace Korvel

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick::assembler {

enum class TokenKind {
    Identifier,
    Number,  // also a character constant such as 'A'
    String,
    Colon,
    Comma,
    Plus,
    Minus,
    LeftParen,
    RightParen,
    Dollar,
    End,  // end of the line or the start of a comment
};

struct Token {
    TokenKind kind = TokenKind::End;
    std::string_view text;   // as written in the source, for messages
    int column = 0;          // 1-based
    std::int64_t value = 0;  // Number
    std::string bytes;       // String, escapes resolved
};

struct LineError {
    int column;
    std::string message;
};

// Largest number a literal may spell; anything bigger is certainly a mistake
// on a machine with 16-bit addresses and keeps expression arithmetic exact.
inline constexpr std::int64_t largestLiteral = 0xFFFFFFFF;

// Splits one source line into tokens, the last always End. Stops at the first
// malformed token and reports it; the tokens before it are kept.
struct LexedLine {
    std::vector<Token> tokens;
    std::optional<LineError> error;
};
LexedLine lexLine(std::string_view line);

// The token as messages quote it: 'text', or "the end of the line".
std::string describe(const Token& token);

}  // namespace tarnwick::assembler

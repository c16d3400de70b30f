#include "asm/Lexer.h"

#include <cstdio>

namespace tarnwick::assembler {

namespace {

Token makeToken(TokenKind kind, std::string_view text, int column, std::int64_t value = 0) {
    Token token;
    token.kind = kind;
    token.text = text;
    token.column = column;
    token.value = value;
    return token;
}

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isWordChar(char c) { return isLetter(c) || isDigit(c); }

int digitValue(char c) {
    if (isDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

// Reads digits of one base; nullopt when a digit is foreign or the text is
// empty, -1 when the value passes largestLiteral.
std::optional<std::int64_t> digitsValue(std::string_view digits, int base) {
    if (digits.empty()) return std::nullopt;
    std::int64_t value = 0;
    for (char c : digits) {
        int digit = digitValue(c);
        if (digit >= base) return std::nullopt;
        value = value * base + digit;
        if (value > largestLiteral) return -1;
    }
    return value;
}

// Decimal 42, hexadecimal 2Ah or 0x2A, binary 101010b or 0b101010. A
// trailing h is checked first, so 0B1h is the hexadecimal number B1h.
std::optional<std::int64_t> numberValue(std::string_view text) {
    char last = text.back();
    if (last == 'h' || last == 'H') return digitsValue(text.substr(0, text.size() - 1), 16);
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        return digitsValue(text.substr(2), 16);
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'b' || text[1] == 'B'))
        return digitsValue(text.substr(2), 2);
    if (last == 'b' || last == 'B') return digitsValue(text.substr(0, text.size() - 1), 2);
    return digitsValue(text, 10);
}

std::string describeCharacter(char c) {
    auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x21 && byte < 0x7F) return std::string("unexpected character '") + c + "'";
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "unexpected byte %02Xh", byte);
    return buffer;
}

// Resolves the escape starting after the backslash at line[i]; advances i past it.
std::optional<char> escape(std::string_view line, std::size_t& i) {
    if (i >= line.size()) return std::nullopt;
    char c = line[i++];
    switch (c) {
        case 'n':
            return '\n';
        case 'r':
            return '\r';
        case 't':
            return '\t';
        case '0':
            return '\0';
        case '\\':
            return '\\';
        case '\'':
            return '\'';
        case '"':
            return '"';
        default:
            return std::nullopt;
    }
}

}  // namespace

std::string describe(const Token& token) {
    if (token.kind == TokenKind::End) return "the end of the line";
    // Built by appending: GCC 12 at -O3 takes "'" + std::string(...) for an
    // overlapping copy (a false -Wrestrict).
    std::string quoted(1, '\'');
    quoted += token.text;
    quoted += '\'';
    return quoted;
}

LexedLine lexLine(std::string_view line) {
    LexedLine result;
    std::size_t i = 0;
    auto fail = [&](std::size_t at, std::string message) {
        result.error = LineError{static_cast<int>(at) + 1, std::move(message)};
        // The tokens before the bad one stay usable, still closed by End.
        result.tokens.push_back(makeToken(TokenKind::End, {}, static_cast<int>(at) + 1));
        return result;
    };
    auto simple = [&](TokenKind kind) {
        result.tokens.push_back(makeToken(kind, line.substr(i, 1), static_cast<int>(i) + 1));
        ++i;
    };
    while (i < line.size()) {
        char c = line[i];
        if (c == ' ' || c == '\t') {
            ++i;
        } else if (c == ';') {
            break;
        } else if (isLetter(c)) {
            std::size_t start = i;
            while (i < line.size() && isWordChar(line[i])) ++i;
            result.tokens.push_back(
                makeToken(TokenKind::Identifier, line.substr(start, i - start), static_cast<int>(start) + 1));
        } else if (isDigit(c)) {
            std::size_t start = i;
            while (i < line.size() && isWordChar(line[i])) ++i;
            std::string_view text = line.substr(start, i - start);
            std::optional<std::int64_t> value = numberValue(text);
            if (!value) return fail(start, "malformed number '" + std::string(text) + "'");
            if (*value < 0) return fail(start, "number '" + std::string(text) + "' is too large");
            result.tokens.push_back(makeToken(TokenKind::Number, text, static_cast<int>(start) + 1, *value));
        } else if (c == '"') {
            std::size_t start = i++;
            std::string bytes;
            while (true) {
                if (i >= line.size()) return fail(start, "string has no closing '\"'");
                char d = line[i++];
                if (d == '"') break;
                if (d == '\\') {
                    std::size_t at = i - 1;
                    std::optional<char> resolved = escape(line, i);
                    if (!resolved)
                        return fail(at, "unknown escape in string (use \\n \\r \\t \\0 \\\\ \\' \\\")");
                    d = *resolved;
                }
                bytes.push_back(d);
            }
            Token token =
                makeToken(TokenKind::String, line.substr(start, i - start), static_cast<int>(start) + 1);
            token.bytes = std::move(bytes);
            result.tokens.push_back(std::move(token));
        } else if (c == '\'') {
            std::size_t start = i++;
            if (i >= line.size()) return fail(start, "character constant has no closing \"'\"");
            char d = line[i++];
            if (d == '\\') {
                std::size_t at = i - 1;
                std::optional<char> resolved = escape(line, i);
                if (!resolved) return fail(at, "unknown escape in character constant");
                d = *resolved;
            } else if (d == '\'') {
                return fail(start, "empty character constant");
            }
            if (i >= line.size() || line[i] != '\'') {
                std::string message = "character constant must be one character followed by \"'\"";
                // 'abc' was meant as a string: those take double quotes.
                std::size_t close = line.find('\'', start + 1);
                if (close != std::string_view::npos)
                    message += "; a string goes between double quotes: \"" +
                               std::string(line.substr(start + 1, close - start - 1)) + "\"";
                return fail(start, message);
            }
            ++i;
            result.tokens.push_back(makeToken(TokenKind::Number, line.substr(start, i - start),
                                              static_cast<int>(start) + 1, static_cast<unsigned char>(d)));
        } else if (c == ':') {
            simple(TokenKind::Colon);
        } else if (c == ',') {
            simple(TokenKind::Comma);
        } else if (c == '+') {
            simple(TokenKind::Plus);
        } else if (c == '-') {
            simple(TokenKind::Minus);
        } else if (c == '(') {
            simple(TokenKind::LeftParen);
        } else if (c == ')') {
            simple(TokenKind::RightParen);
        } else if (c == '$') {
            simple(TokenKind::Dollar);
        } else {
            return fail(i, describeCharacter(c));
        }
    }
    result.tokens.push_back(makeToken(TokenKind::End, {}, static_cast<int>(i) + 1));
    return result;
}

}  // namespace tarnwick::assembler

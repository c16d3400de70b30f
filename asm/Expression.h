#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "asm/Lexer.h"

namespace tarnwick::assembler {

struct Expression;

// The unary operators that may stand before a value.
enum class Prefix : std::uint8_t { Negate, High, Low };

// One value of a sum: a number, a name, $ (the current statement's address)
// or a parenthesised expression, with its unary operators.
struct Factor {
    enum class Kind : std::uint8_t { Number, Symbol, Here, Group };
    Kind kind = Kind::Number;
    std::int64_t number = 0;
    std::string symbol;
    std::unique_ptr<Expression> group;
    std::vector<Prefix> prefixes;  // outermost first
    int column = 0;
};

struct Term {
    bool subtract = false;
    Factor factor;
};

// A sum of terms, kept flat so that long sums need no deep recursion.
struct Expression {
    std::vector<Term> terms;
    int column = 0;
};

// Parentheses may nest this deep; deeper input is rejected, not recursed into.
inline constexpr int deepestNesting = 32;

// Parses an expression starting at tokens[position] and leaves position on the
// first token after it. Returns the error instead when the tokens do not form one.
struct ParsedExpression {
    std::optional<Expression> expression;
    std::optional<LineError> error;
};
ParsedExpression parseExpression(const std::vector<Token>& tokens, std::size_t& position);

// What evaluating an expression gave: a value; a failure already reported; or
// (while addresses are still being assigned) a name that is defined further down.
enum class Outcome : std::uint8_t { Known, Failed, Later };
struct Value {
    Outcome outcome = Outcome::Failed;
    std::int64_t number = 0;
    std::string laterName;  // Later: the name
    int laterColumn = 0;    // Later: where it is used
};
inline Value known(std::int64_t number) {
    Value value;
    value.outcome = Outcome::Known;
    value.number = number;
    return value;
}
inline Value later(std::string name, int column) {
    Value value;
    value.outcome = Outcome::Later;
    value.laterName = std::move(name);
    value.laterColumn = column;
    return value;
}

// Supplies names' values and takes the errors found while evaluating.
class Resolver {
public:
    virtual ~Resolver() = default;
    virtual Value resolve(const std::string& name, int column) = 0;
    virtual void error(int column, std::string message) = 0;
};

// Intermediate values stay within this magnitude; beyond it is an error.
inline constexpr std::int64_t largestValue = 0xFFFFFFFF;

Value evaluate(const Expression& expression, std::int64_t here, Resolver& resolver);

}  // namespace tarnwick::assembler

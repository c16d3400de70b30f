#include "asm/Expression.h"

#include <cstdio>

#include "asm/InstructionSet.h"

namespace tarnwick::assembler {

namespace {

class Parser {
public:
    Parser(const std::vector<Token>& tokens, std::size_t& position) : tokens_(tokens), position_(position) {}

    std::optional<Expression> sum(int depth) {
        Expression expression;
        expression.column = current().column;
        bool subtract = false;
        while (true) {
            std::optional<Factor> factor = this->factor(depth);
            if (!factor) return std::nullopt;
            expression.terms.push_back(Term{subtract, std::move(*factor)});
            if (current().kind == TokenKind::Plus) {
                subtract = false;
            } else if (current().kind == TokenKind::Minus) {
                subtract = true;
            } else {
                return expression;
            }
            ++position_;
        }
    }

    std::optional<LineError> error;

private:
    const Token& current() const { return tokens_[position_]; }

    std::nullopt_t fail(int column, std::string message) {
        error = LineError{column, std::move(message)};
        return std::nullopt;
    }

    std::optional<Factor> factor(int depth) {
        Factor factor;
        factor.column = current().column;
        while (true) {
            const Token& token = current();
            if (token.kind == TokenKind::Minus) {
                factor.prefixes.push_back(Prefix::Negate);
            } else if (token.kind == TokenKind::Plus) {
                // A unary plus changes nothing.
            } else if (token.kind == TokenKind::Identifier && equalsIgnoringCase(token.text, "HIGH")) {
                factor.prefixes.push_back(Prefix::High);
            } else if (token.kind == TokenKind::Identifier && equalsIgnoringCase(token.text, "LOW")) {
                factor.prefixes.push_back(Prefix::Low);
            } else {
                break;
            }
            ++position_;
        }
        const Token& token = current();
        switch (token.kind) {
            case TokenKind::Number:
                factor.kind = Factor::Kind::Number;
                factor.number = token.value;
                break;
            case TokenKind::Identifier:
                if (isReservedWord(token.text))
                    return fail(token.column, "expected a value, found " + describe(token));
                factor.kind = Factor::Kind::Symbol;
                factor.symbol = std::string(token.text);
                break;
            case TokenKind::Dollar:
                factor.kind = Factor::Kind::Here;
                break;
            case TokenKind::LeftParen: {
                if (depth >= deepestNesting) return fail(token.column, "parentheses nested too deeply");
                ++position_;
                std::optional<Expression> inner = sum(depth + 1);
                if (!inner) return std::nullopt;
                if (current().kind != TokenKind::RightParen)
                    return fail(current().column, "missing ')' before " + describe(current()));
                factor.kind = Factor::Kind::Group;
                factor.group = std::make_unique<Expression>(std::move(*inner));
                break;
            }
            default:
                return fail(token.column, "expected a value, found " + describe(token));
        }
        ++position_;
        return factor;
    }

    const std::vector<Token>& tokens_;
    std::size_t& position_;
};

bool tooLarge(std::int64_t value) { return value > largestValue || value < -largestValue; }

std::string tooLargeMessage(std::int64_t value) {
    char hex[32];
    std::snprintf(hex, sizeof hex, "%s%llXh", value < 0 ? "-" : "",
                  static_cast<unsigned long long>(value < 0 ? -value : value));
    return "value too large: " + std::to_string(value) + " (" + hex + ") is beyond " +
           (value < 0 ? "-FFFFFFFFh" : "FFFFFFFFh");
}

Value evaluateSum(const Expression& expression, std::int64_t here, Resolver& resolver);

Value evaluateFactor(const Factor& factor, std::int64_t here, Resolver& resolver) {
    Value value;
    switch (factor.kind) {
        case Factor::Kind::Number:
            value = known(factor.number);
            break;
        case Factor::Kind::Here:
            value = known(here);
            break;
        case Factor::Kind::Symbol:
            value = resolver.resolve(factor.symbol, factor.column);
            break;
        case Factor::Kind::Group:
            value = evaluateSum(*factor.group, here, resolver);
            break;
    }
    if (value.outcome != Outcome::Known) return value;
    for (auto prefix = factor.prefixes.rbegin(); prefix != factor.prefixes.rend(); ++prefix) {
        switch (*prefix) {
            case Prefix::Negate:
                value.number = -value.number;
                break;
            case Prefix::High:
                value.number = (value.number >> 8) & 0xFF;
                break;
            case Prefix::Low:
                value.number &= 0xFF;
                break;
        }
    }
    return value;
}

Value evaluateSum(const Expression& expression, std::int64_t here, Resolver& resolver) {
    Value total = known(0);
    for (const Term& term : expression.terms) {
        Value value = evaluateFactor(term.factor, here, resolver);
        if (value.outcome == Outcome::Later) return value;
        // Keep going after a failure so that every undefined name is reported.
        if (value.outcome == Outcome::Failed || total.outcome == Outcome::Failed) {
            total.outcome = Outcome::Failed;
            continue;
        }
        total.number += term.subtract ? -value.number : value.number;
        if (tooLarge(total.number)) {
            resolver.error(term.factor.column, tooLargeMessage(total.number));
            total.outcome = Outcome::Failed;
        }
    }
    return total;
}

}  // namespace

ParsedExpression parseExpression(const std::vector<Token>& tokens, std::size_t& position) {
    Parser parser(tokens, position);
    ParsedExpression result;
    result.expression = parser.sum(0);
    if (!result.expression) result.error = parser.error;
    return result;
}

Value evaluate(const Expression& expression, std::int64_t here, Resolver& resolver) {
    return evaluateSum(expression, here, resolver);
}

}  // namespace tarnwick::assembler

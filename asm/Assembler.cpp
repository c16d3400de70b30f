#include "asm/Assembler.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <map>
#include <unordered_map>
#include <unordered_set>

#include "asm/Expression.h"
#include "asm/InstructionSet.h"
#include "asm/Lexer.h"

namespace tarnwick::assembler {

namespace {

constexpr std::int64_t highestAddress = 0xFFFF;

// Constants may refer to constants this many levels deep.
constexpr int deepestConstantChain = 64;

std::string hex(std::int64_t value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04llXh", static_cast<unsigned long long>(value));
    return buffer;
}

// FFh reads as a name; say how to write the number meant.
std::string numberHint(const std::string& name) {
    if (name.size() < 2 || (name.back() != 'h' && name.back() != 'H')) return "";
    for (std::size_t i = 0; i + 1 < name.size(); ++i) {
        char c = name[i];
        bool hexDigit = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!hexDigit) return "";
    }
    return " (a hexadecimal number must start with a digit: write 0" + name + ")";
}

// One item of a DB or DW list: a string (DB only) or an expression.
struct DataItem {
    std::optional<Expression> expression;
    std::string bytes;
    int column = 0;
};

struct Statement {
    enum class Kind : std::uint8_t { None, Instruction, Origin, Bytes, Words, Constant };
    Kind kind = Kind::None;
    int line = 0;
    std::string label;
    int labelColumn = 0;
    const Instruction* instruction = nullptr;
    int keywordColumn = 0;
    std::optional<Expression> operand;  // instruction address, ORG value or EQU value
    std::vector<DataItem> items;        // DB, DW
    std::string name;                   // EQU
    int nameColumn = 0;
    // Set by the first pass.
    std::int64_t address = 0;
    std::int64_t size = 0;
    bool placed = false;  // its bytes fit in memory and may be emitted
};

// The errors of an assembly: all counted, the first `limit` in line and
// column order kept. Errors arrive in two passes, each in line order, so the
// list is sorted and cut back whenever it grows to twice the limit.
class ErrorList {
public:
    explicit ErrorList(std::size_t limit) : limit_(limit) {}

    void add(Diagnostic diagnostic) {
        ++count_;
        if (limit_ == 0) return;
        kept_.push_back(std::move(diagnostic));
        if (kept_.size() >= 2 * limit_) trim();
    }
    std::size_t count() const { return count_; }

    void moveInto(Program& program) {
        trim();
        program.errors = std::move(kept_);
        program.errorCount = count_;
    }

private:
    void trim() {
        std::stable_sort(kept_.begin(), kept_.end(), [](const Diagnostic& a, const Diagnostic& b) {
            return a.line != b.line ? a.line < b.line : a.column < b.column;
        });
        if (kept_.size() > limit_) kept_.resize(limit_);
    }

    std::size_t limit_;
    std::size_t count_ = 0;
    std::vector<Diagnostic> kept_;
};

class LineParser {
public:
    LineParser(int line, ErrorList& errors) : errors_(errors) { statement_.line = line; }

    Statement parse(std::string_view text) {
        LexedLine lexed = lexLine(text);
        tokens_ = std::move(lexed.tokens);
        if (lexed.error) {
            report(lexed.error->column, lexed.error->message);
            salvage();
            return std::move(statement_);
        }
        if (is(TokenKind::Identifier) && tokens_[1].kind == TokenKind::Colon) {
            label();
            position_ = 2;
        }
        if (is(TokenKind::End)) return std::move(statement_);
        if (!is(TokenKind::Identifier)) {
            report(current().column, "expected a label, mnemonic or directive, found " + describe(current()));
            return std::move(statement_);
        }
        if (tokens_[position_ + 1].kind == TokenKind::Identifier &&
            equalsIgnoringCase(tokens_[position_ + 1].text, "EQU")) {
            constant();
        } else {
            keyword();
        }
        return std::move(statement_);
    }

private:
    const Token& current() const { return tokens_[position_]; }
    bool is(TokenKind kind) const { return current().kind == kind; }
    void report(int column, std::string message) {
        errors_.add({statement_.line, column, std::move(message)});
    }

    bool nameAllowed(const Token& token, const char* what) {
        if (!isReservedWord(token.text)) return true;
        report(token.column, describe(token) + " is a reserved word and cannot name a " + what);
        return false;
    }

    void label() {
        if (!nameAllowed(tokens_[0], "label")) return;
        statement_.label = std::string(tokens_[0].text);
        statement_.labelColumn = tokens_[0].column;
    }

    // After a malformed token, keep what the line still says clearly (its
    // label and the size of its instruction) so that later lines are not
    // flooded with consequential errors.
    void salvage() {
        if (tokens_.size() >= 2 && tokens_[0].kind == TokenKind::Identifier &&
            tokens_[1].kind == TokenKind::Colon) {
            label();
            position_ = 2;
        }
        if (is(TokenKind::Identifier)) {
            if (const Instruction* instruction = findInstruction(current().text)) {
                statement_.kind = Statement::Kind::Instruction;
                statement_.instruction = instruction;
                statement_.keywordColumn = current().column;
            }
        }
    }

    static bool startsStatement(std::string_view word) {
        return findInstruction(word) || equalsIgnoringCase(word, "ORG") || equalsIgnoringCase(word, "DB") ||
               equalsIgnoringCase(word, "DW");
    }

    std::optional<Expression> expression() {
        ParsedExpression parsed = parseExpression(tokens_, position_);
        if (parsed.error) report(parsed.error->column, parsed.error->message);
        return std::move(parsed.expression);
    }

    // Reports anything left on the line after a complete statement.
    void expectEnd(const char* after) {
        if (!is(TokenKind::End))
            report(current().column, "unexpected " + describe(current()) + " after " + after);
    }

    void constant() {
        const Token& name = current();
        if (!statement_.label.empty()) {
            report(statement_.labelColumn, "a constant defined with EQU cannot also have a label");
            statement_.label.clear();
        }
        position_ += 2;
        if (!nameAllowed(name, "constant")) return;
        if (is(TokenKind::End)) {
            report(tokens_[position_ - 1].column, "missing operand: EQU needs a value");
            return;
        }
        std::optional<Expression> value = expression();
        if (!value) return;
        statement_.kind = Statement::Kind::Constant;
        statement_.name = std::string(name.text);
        statement_.nameColumn = name.column;
        statement_.operand = std::move(value);
        expectEnd("the value");
    }

    void keyword() {
        const Token& word = current();
        statement_.keywordColumn = word.column;
        ++position_;
        if (const Instruction* instruction = findInstruction(word.text)) {
            statement_.kind = Statement::Kind::Instruction;
            statement_.instruction = instruction;
            if (instruction->size == 1) {
                if (!is(TokenKind::End))
                    report(current().column, "'" + std::string(instruction->mnemonic) + "' takes no operand");
                return;
            }
            if (is(TokenKind::End)) {
                report(word.column,
                       "missing operand: '" + std::string(instruction->mnemonic) + "' needs an address");
                return;
            }
            statement_.operand = expression();
            if (statement_.operand) expectEnd("the operand");
        } else if (equalsIgnoringCase(word.text, "ORG")) {
            if (!statement_.label.empty()) {
                report(statement_.labelColumn,
                       "a label cannot stand on an ORG line; put it on the line after");
                statement_.label.clear();
            }
            if (is(TokenKind::End)) {
                report(word.column, "missing operand: ORG needs an address");
                return;
            }
            std::optional<Expression> value = expression();
            if (!value) return;
            statement_.kind = Statement::Kind::Origin;
            statement_.operand = std::move(value);
            expectEnd("the address");
        } else if (equalsIgnoringCase(word.text, "DB") || equalsIgnoringCase(word.text, "DW")) {
            data(word);
        } else if (equalsIgnoringCase(word.text, "EQU")) {
            report(word.column, "EQU needs a name before it");
        } else if (isReservedWord(word.text)) {
            report(word.column, "'" + std::string(word.text) + "' cannot start a statement");
        } else {
            std::string message = "unknown mnemonic '" + std::string(word.text) + "'";
            // "loop hlt": a label whose colon was forgotten.
            if (is(TokenKind::Identifier) && startsStatement(current().text))
                message += " (did you mean '" + std::string(word.text) + ":'? a label needs a colon)";
            report(word.column, message);
        }
    }

    void data(const Token& word) {
        bool bytes = equalsIgnoringCase(word.text, "DB");
        std::string directive = bytes ? "DB" : "DW";
        if (is(TokenKind::End)) {
            report(word.column, "missing operand: " + directive + " needs at least one value");
            return;
        }
        std::vector<DataItem> items;
        while (true) {
            DataItem item;
            item.column = current().column;
            if (is(TokenKind::String) && bytes) {
                item.bytes = current().bytes;
                ++position_;
            } else if (is(TokenKind::String)) {
                report(current().column, "strings are only allowed in DB");
                return;
            } else if (is(TokenKind::End)) {
                report(current().column, "missing value after ','");
                return;
            } else {
                item.expression = expression();
                if (!item.expression) return;
            }
            items.push_back(std::move(item));
            if (!is(TokenKind::Comma)) break;
            ++position_;
        }
        statement_.kind = bytes ? Statement::Kind::Bytes : Statement::Kind::Words;
        statement_.items = std::move(items);
        expectEnd("the values");
    }

    ErrorList& errors_;
    std::vector<Token> tokens_;
    std::size_t position_ = 0;
    Statement statement_;
};

// A label (known from the first pass on) or a constant (evaluated when first
// needed, so that it may use names defined further down).
struct Symbol {
    enum class State : std::uint8_t { Unevaluated, Evaluating, Known, Failed };
    State state = State::Unevaluated;
    int line = 0;
    std::int64_t value = 0;
    const Expression* expression = nullptr;  // Constant
    std::int64_t here = 0;                   // Constant: the address at its line, for $

    static Symbol label(int line, std::int64_t address) {
        Symbol symbol;
        symbol.state = State::Known;
        symbol.line = line;
        symbol.value = address;
        return symbol;
    }
    static Symbol constant(int line, const Expression& expression, std::int64_t here) {
        Symbol symbol;
        symbol.line = line;
        symbol.expression = &expression;
        symbol.here = here;
        return symbol;
    }
};

class Assembly : public Resolver {
public:
    Assembly(std::string_view source, std::size_t errorLimit) : source_(source), errors_(errorLimit) {}

    Program run() {
        parse();
        assignAddresses();
        emit();
        errors_.moveInto(program_);
        for (const auto& [name, symbol] : symbols_)
            if (symbol.expression == nullptr && symbol.state == Symbol::State::Known)
                program_.labels.emplace(name, static_cast<std::uint16_t>(symbol.value));
        return std::move(program_);
    }

    Value resolve(const std::string& name, int column) override {
        auto found = symbols_.find(name);
        if (found == symbols_.end()) {
            if (!addressesAssigned_ && allNames_.count(name) != 0) return later(name, column);
            error(column, "undefined symbol '" + name + "'" + numberHint(name));
            return Value{};
        }
        Symbol& symbol = found->second;
        switch (symbol.state) {
            case Symbol::State::Known:
                return known(symbol.value);
            case Symbol::State::Failed:
                return Value{};  // reported where it is defined
            case Symbol::State::Evaluating:
                error(column, "'" + name + "' is defined in terms of itself");
                return Value{};
            case Symbol::State::Unevaluated:
                break;
        }
        if (chainDepth_ >= deepestConstantChain) {
            error(column, "constants refer to constants too deeply");
            return Value{};
        }
        symbol.state = Symbol::State::Evaluating;
        int callerLine = currentLine_;
        currentLine_ = symbol.line;
        ++chainDepth_;
        Value value = evaluate(*symbol.expression, symbol.here, *this);
        --chainDepth_;
        currentLine_ = callerLine;
        switch (value.outcome) {
            case Outcome::Known:
                symbol.state = Symbol::State::Known;
                symbol.value = value.number;
                break;
            case Outcome::Failed:
                symbol.state = Symbol::State::Failed;
                break;
            case Outcome::Later:
                symbol.state = Symbol::State::Unevaluated;
                break;
        }
        return value;
    }

    void error(int column, std::string message) override {
        errors_.add({currentLine_, column, std::move(message)});
    }

private:
    void parse() {
        std::size_t start = 0;
        int line = 0;
        while (start < source_.size()) {
            std::size_t end = source_.find('\n', start);
            if (end == std::string_view::npos) end = source_.size();
            std::string_view text = source_.substr(start, end - start);
            if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
            LineParser parser(++line, errors_);
            statements_.push_back(parser.parse(text));
            start = end + 1;
        }
        for (const Statement& statement : statements_) {
            if (!statement.label.empty()) allNames_.insert(statement.label);
            if (statement.kind == Statement::Kind::Constant) allNames_.insert(statement.name);
        }
    }

    void define(const std::string& name, int column, Symbol symbol, const char* what) {
        auto [found, inserted] = symbols_.try_emplace(name, symbol);
        if (!inserted) {
            error(column, std::string("duplicate ") + what + " '" + name + "' (first defined at line " +
                              std::to_string(found->second.line) + ")");
        }
    }

    static std::int64_t itemSize(const Statement& statement) {
        if (statement.kind == Statement::Kind::Instruction) return statement.instruction->size;
        std::int64_t size = 0;
        for (const DataItem& item : statement.items) {
            if (statement.kind == Statement::Kind::Words) {
                size += 2;
            } else {
                size += item.expression ? 1 : static_cast<std::int64_t>(item.bytes.size());
            }
        }
        return size;
    }

    // First pass: every label gets its address, every ORG its value, and
    // every statement its place in memory, so that overlaps are found here.
    void assignAddresses() {
        std::int64_t location = 0;
        bool pastEndReported = false;
        for (Statement& statement : statements_) {
            currentLine_ = statement.line;
            statement.address = location;
            if (!statement.label.empty()) {
                define(statement.label, statement.labelColumn, Symbol::label(statement.line, location),
                       "label");
            }
            switch (statement.kind) {
                case Statement::Kind::None:
                    break;
                case Statement::Kind::Origin: {
                    std::optional<std::int64_t> origin = originValue(statement);
                    if (origin) {
                        location = *origin;
                        pastEndReported = false;
                    }
                    statement.address = location;
                    break;
                }
                case Statement::Kind::Constant: {
                    define(statement.name, statement.nameColumn,
                           Symbol::constant(statement.line, *statement.operand, location), "constant");
                    break;
                }
                case Statement::Kind::Instruction:
                case Statement::Kind::Bytes:
                case Statement::Kind::Words:
                    statement.size = itemSize(statement);
                    if (statement.size == 0) break;
                    if (location + statement.size - 1 > highestAddress) {
                        if (!pastEndReported) {
                            error(statement.keywordColumn,
                                  "address past FFFFh: this line's bytes would end at " +
                                      hex(location + statement.size - 1));
                        }
                        pastEndReported = true;
                    } else {
                        place(statement);
                    }
                    location += statement.size;
                    break;
            }
        }
        addressesAssigned_ = true;
    }

    std::optional<std::int64_t> originValue(const Statement& statement) {
        Value value = evaluate(*statement.operand, statement.address, *this);
        if (value.outcome == Outcome::Later) {
            error(value.laterColumn, "ORG needs a value known at this line, but '" + value.laterName +
                                         "' is defined further down");
            return std::nullopt;
        }
        if (value.outcome == Outcome::Failed) return std::nullopt;
        if (value.number < 0 || value.number > highestAddress) {
            error(statement.operand->column,
                  "value " + std::to_string(value.number) + " is out of range for an address (0 to FFFFh)");
            return std::nullopt;
        }
        return value.number;
    }

    // Records where the statement's bytes go, unless another statement's
    // bytes are already there.
    void place(Statement& statement) {
        std::int64_t first = statement.address;
        std::int64_t last = statement.address + statement.size - 1;
        auto next = occupied_.upper_bound(first);
        std::optional<std::pair<std::int64_t, int>> clash;  // address, line
        if (next != occupied_.begin() && std::prev(next)->second.last >= first) {
            clash = {first, std::prev(next)->second.line};
        } else if (next != occupied_.end() && next->first <= last) {
            clash = {next->first, next->second.line};
        }
        if (clash) {
            error(statement.keywordColumn, "overlapping origins: address " + hex(clash->first) +
                                               " already holds a byte from line " +
                                               std::to_string(clash->second));
        } else {
            occupied_.emplace(first, Occupied{last, statement.line});
        }
        statement.placed = true;
    }

    std::optional<std::int64_t> valueIn(const Expression& expression, std::int64_t here, std::int64_t lowest,
                                        std::int64_t highest, const char* what) {
        Value value = evaluate(expression, here, *this);
        if (value.outcome != Outcome::Known) return std::nullopt;
        if (value.number < lowest || value.number > highest) {
            error(expression.column,
                  "value " + std::to_string(value.number) + " is out of range for " + what);
            return std::nullopt;
        }
        return value.number;
    }

    std::vector<std::uint8_t> bytesOf(const Statement& statement) {
        std::vector<std::uint8_t> bytes;
        std::int64_t here = statement.address;
        auto push16 = [&bytes](std::int64_t value) {
            bytes.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
            bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
        };
        switch (statement.kind) {
            case Statement::Kind::Instruction:
                bytes.push_back(statement.instruction->code);
                if (statement.instruction->size == 3) {
                    std::optional<std::int64_t> address;
                    if (statement.operand)
                        address =
                            valueIn(*statement.operand, here, 0, highestAddress, "an address (0 to FFFFh)");
                    push16(address.value_or(0));
                }
                break;
            case Statement::Kind::Bytes:
                for (const DataItem& item : statement.items) {
                    if (item.expression) {
                        std::optional<std::int64_t> value =
                            valueIn(*item.expression, here, -128, 255, "a byte (-128 to 255)");
                        bytes.push_back(static_cast<std::uint8_t>(value.value_or(0) & 0xFF));
                    } else {
                        bytes.insert(bytes.end(), item.bytes.begin(), item.bytes.end());
                    }
                }
                break;
            case Statement::Kind::Words:
                for (const DataItem& item : statement.items) {
                    push16(valueIn(*item.expression, here, -32768, 65535, "a word (-32768 to 65535)")
                               .value_or(0));
                }
                break;
            default:
                break;
        }
        return bytes;
    }

    // Second pass: every constant is evaluated at its own line (so each of
    // its errors is reported once, there) and every statement emits its bytes.
    void emit() {
        program_.memory.assign(memorySize, 0);
        program_.lines.resize(statements_.size());
        bool any = false;
        std::int64_t first = highestAddress;
        std::int64_t last = 0;
        for (const Statement& statement : statements_) {
            currentLine_ = statement.line;
            ListedLine& listed = program_.lines[static_cast<std::size_t>(statement.line - 1)];
            if (!statement.label.empty() || statement.kind != Statement::Kind::None)
                listed.address = statement.address;
            if (statement.kind == Statement::Kind::Constant) {
                listed.address.reset();
                Value value = resolve(statement.name, statement.nameColumn);
                if (value.outcome == Outcome::Known &&
                    symbols_.at(statement.name).expression == &*statement.operand)
                    listed.constant = value.number;
                continue;
            }
            listed.bytes = bytesOf(statement);
            if (!statement.placed || listed.bytes.empty()) continue;
            std::copy(listed.bytes.begin(), listed.bytes.end(),
                      program_.memory.begin() + static_cast<std::ptrdiff_t>(statement.address));
            any = true;
            first = std::min(first, statement.address);
            last = std::max(last, statement.address + static_cast<std::int64_t>(listed.bytes.size()) - 1);
        }
        if (!any && errors_.count() == 0) {
            errors_.add({1, 1, "nothing to assemble: the source emits no bytes"});
        }
        if (any) {
            program_.first = static_cast<std::uint16_t>(first);
            program_.last = static_cast<std::uint16_t>(last);
        }
    }

    std::string_view source_;
    ErrorList errors_;
    Program program_;
    std::vector<Statement> statements_;
    std::unordered_map<std::string, Symbol> symbols_;
    std::unordered_set<std::string> allNames_;
    // Address ranges that hold bytes, by first address; they never overlap.
    struct Occupied {
        std::int64_t last;
        int line;
    };
    std::map<std::int64_t, Occupied> occupied_;
    bool addressesAssigned_ = false;
    int currentLine_ = 0;
    int chainDepth_ = 0;
};

}  // namespace

std::string_view withoutByteOrderMark(std::string_view source) {
    // Some editors start UTF-8 files with EF BB BF; columns count from after it.
    constexpr std::string_view mark = "\xEF\xBB\xBF";
    if (source.substr(0, mark.size()) == mark) source.remove_prefix(mark.size());
    return source;
}

Program assemble(std::string_view source, std::size_t errorLimit) {
    return Assembly(withoutByteOrderMark(source), errorLimit).run();
}

std::string formatDiagnostic(std::string_view fileName, const Diagnostic& diagnostic) {
    return std::string(fileName) + ":" + std::to_string(diagnostic.line) + ":" +
           std::to_string(diagnostic.column) + ": " + diagnostic.message;
}

}  // namespace tarnwick::assembler

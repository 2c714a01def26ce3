// The WMLScript compiler: a recursive-descent parser that writes bytecode as
// it reads, one function at a time, then lays out each function's jumps in
// their shortest encodings and writes the unit.

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "lexer.h"
#include "unit_format.h"
#include "wmlscript.h"

namespace tessaly::wap::wmlscript {
namespace {

// Thrown to end compilation at the first error.
struct CompileError {
    int line, column;
    std::string message;
};

// One instruction before layout. Jumps name a label; their encoding is chosen
// when the function is laid out.
struct Instruction {
    std::uint8_t op;
    int a = 0, b = 0, c = 0;
    int label = -1;  // jumps only
};

enum class JumpKind : std::uint8_t { Jump, TJump };

struct FunctionInfo {
    std::string name;
    int arguments = 0;
    bool isExtern = false;
    std::size_t token = 0;  // where its name stands, to tell a duplicate
};

struct Pragma {
    PragmaType type;
    std::vector<int> constants;
};

void AppendU16(std::string& out, unsigned value) {
    out.push_back(static_cast<char>((value >> 8) & 0xff));
    out.push_back(static_cast<char>(value & 0xff));
}

class Compiler {
public:
    explicit Compiler(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

    std::string Run() {
        CollectFunctions();
        while (Peek().IsKeyword("use")) {
            ParsePragma();
        }
        while (Peek().kind != TokenKind::End) {
            if (Peek().IsKeyword("use")) {
                Fail(Peek(), "杂注（use）必须写在所有函数之前");
            }
            ParseFunction();
        }
        return WriteUnit();
    }

private:
    // ---- tokens ----

    const Token& Peek(std::size_t ahead = 0) const {
        const std::size_t at = std::min(pos_ + ahead, tokens_.size() - 1);
        return tokens_[at];
    }
    const Token& Next() {
        const Token& token = tokens_[pos_];
        if (pos_ + 1 < tokens_.size()) {
            ++pos_;
        }
        return token;
    }
    [[noreturn]] static void Fail(const Token& at, std::string message) {
        throw CompileError{at.line, at.column, std::move(message)};
    }
    static std::string Describe(const Token& token) {
        switch (token.kind) {
            case TokenKind::End:
                return "文件结尾";
            case TokenKind::String:
                return "字符串";
            case TokenKind::Integer:
            case TokenKind::Float:
                return "数字";
            default:
                return "“" + token.text + "”";
        }
    }
    [[noreturn]] void Expected(std::string_view what) {
        const Token& token = Peek();
        if (token.kind == TokenKind::Keyword && !IsKnownKeyword(token.text)) {
            Fail(token, "“" + token.text + "”是保留字，不能使用");
        }
        Fail(token, "语法错误：应为" + std::string(what) + "，却是" + Describe(token));
    }
    static bool IsKnownKeyword(std::string_view word) {
        constexpr std::string_view Words[] = {
            "access", "agent",    "break",  "continue", "domain", "else",    "equiv", "extern",
            "for",    "function", "header", "http",     "if",     "isvalid", "meta",  "name",
            "path",   "return",   "typeof", "url",      "use",    "user",    "var",   "while"};
        return std::find(std::begin(Words), std::end(Words), word) != std::end(Words);
    }
    void ExpectPunct(std::string_view p) {
        if (!Peek().IsPunct(p)) {
            Expected("“" + std::string(p) + "”");
        }
        Next();
    }
    void ExpectKeyword(std::string_view k) {
        if (!Peek().IsKeyword(k)) {
            Expected("“" + std::string(k) + "”");
        }
        Next();
    }
    const Token& ExpectIdentifier() {
        if (Peek().kind != TokenKind::Identifier) {
            Expected("名称");
        }
        return Next();
    }
    const Token& ExpectString() {
        if (Peek().kind != TokenKind::String) {
            Expected("字符串");
        }
        return Next();
    }

    // Every function's name and argument count, before any body is read, so a
    // call may come before the function it calls. Names are taken wherever
    // "function name (" stands: one inside a body is a syntax error the parser
    // reports where it stands, and braces left open by an earlier error do not
    // hide the functions after it. A repeated name is left for the parser too.
    void CollectFunctions() {
        for (std::size_t i = 0; i + 2 < tokens_.size(); ++i) {
            const Token& t = tokens_[i];
            if (!t.IsKeyword("function") || tokens_[i + 1].kind != TokenKind::Identifier ||
                !tokens_[i + 2].IsPunct("(")) {
                continue;
            }
            const std::string& name = tokens_[i + 1].text;
            if (functionIndex_.count(name)) {
                continue;
            }
            FunctionInfo info;
            info.name = name;
            info.token = i + 1;
            info.isExtern = i > 0 && tokens_[i - 1].IsKeyword("extern");
            for (std::size_t j = i + 3; j < tokens_.size() && !tokens_[j].IsPunct(")") &&
                                        tokens_[j].kind != TokenKind::End;
                 ++j) {
                if (tokens_[j].kind == TokenKind::Identifier) {
                    ++info.arguments;
                }
            }
            if (static_cast<int>(functions_.size()) == MaxFunctions) {
                Fail(tokens_[i + 1], "函数太多（一个单元最多 255 个）");
            }
            functionIndex_[name] = static_cast<int>(functions_.size());
            functions_.push_back(std::move(info));
        }
    }

    // ---- constants ----

    int AddConstant(ConstantType type, std::string bytes) {
        std::string key(1, static_cast<char>(type));
        key += bytes;
        auto found = constantIndex_.find(key);
        if (found != constantIndex_.end()) {
            return found->second;
        }
        if (static_cast<int>(constants_.size()) >= MaxConstants) {
            Fail(Peek(), "常量太多（一个单元最多 65535 个）");
        }
        const int index = static_cast<int>(constants_.size());
        constantIndex_.emplace(std::move(key), index);
        constants_.emplace_back(type, std::move(bytes));
        return index;
    }
    int StringConstant(const std::string& text) {
        return text.empty() ? AddConstant(ConstantType::EmptyString, "")
                            : AddConstant(ConstantType::Utf8String, text);
    }
    int IntegerConstant(std::int32_t value) {
        std::string bytes;
        const auto u = static_cast<std::uint32_t>(value);
        if (value >= -128 && value <= 127) {
            bytes.push_back(static_cast<char>(u & 0xff));
            return AddConstant(ConstantType::Int8, bytes);
        }
        if (value >= -32768 && value <= 32767) {
            AppendU16(bytes, u & 0xffff);
            return AddConstant(ConstantType::Int16, bytes);
        }
        AppendU16(bytes, u >> 16);
        AppendU16(bytes, u & 0xffff);
        return AddConstant(ConstantType::Int32, bytes);
    }
    int FloatConstant(float value) {
        std::uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        std::string bytes;
        AppendU16(bytes, bits >> 16);
        AppendU16(bytes, bits & 0xffff);
        return AddConstant(ConstantType::Float32, bytes);
    }

    // ---- pragmas ----

    void ParsePragma() {
        Next();  // use
        const Token& word = Peek();
        if (word.IsKeyword("url")) {
            Next();
            const Token& name = ExpectIdentifier();
            const Token& address = ExpectString();
            if (urls_.count(name.text)) {
                Fail(name, "“" + name.text + "”已用 use url 声明过");
            }
            urls_[name.text] = address.text;
        } else if (word.IsKeyword("access")) {
            Next();
            if (hasAccess_) {
                Fail(word, "一个单元只能有一条 use access");
            }
            hasAccess_ = true;
            bool any = false;
            if (Peek().IsKeyword("domain")) {
                Next();
                pragmas_.push_back(
                    {PragmaType::AccessDomain, {StringConstant(ExpectString().text)}});
                any = true;
            }
            if (Peek().IsKeyword("path")) {
                Next();
                pragmas_.push_back({PragmaType::AccessPath, {StringConstant(ExpectString().text)}});
                any = true;
            }
            if (!any) {
                Expected("“domain”或“path”");
            }
        } else if (word.IsKeyword("meta")) {
            Next();
            bool userAgent = false;
            if (Peek().IsKeyword("name")) {
                Next();
            } else if (Peek().IsKeyword("http")) {
                Next();
                ExpectKeyword("equiv");
            } else if (Peek().IsKeyword("user")) {
                Next();
                ExpectKeyword("agent");
                userAgent = true;
            } else {
                Expected("“name”、“http equiv”或“user agent”");
            }
            const std::string property = ExpectString().text;
            const std::string content = ExpectString().text;
            std::optional<std::string> scheme;
            if (Peek().kind == TokenKind::String) {
                scheme = Next().text;
            }
            // Only the properties meant for the phone travel in the unit; the
            // others are for the server that sends it.
            if (userAgent) {
                Pragma pragma{
                    scheme ? PragmaType::UserAgentPropertyScheme : PragmaType::UserAgentProperty,
                    {StringConstant(property), StringConstant(content)}};
                if (scheme) {
                    pragma.constants.push_back(StringConstant(*scheme));
                }
                pragmas_.push_back(std::move(pragma));
            }
        } else {
            Expected("“url”、“access”或“meta”");
        }
        ExpectPunct(";");
    }

    // ---- functions ----

    void ParseFunction() {
        if (Peek().IsKeyword("extern")) {
            Next();
        }
        ExpectKeyword("function");
        const Token& nameToken = ExpectIdentifier();
        const std::size_t nameAt = pos_ - 1;
        auto found = functionIndex_.find(nameToken.text);
        if (found == functionIndex_.end() || functions_[found->second].token != nameAt) {
            Fail(nameToken, "函数“" + nameToken.text + "”重复定义");
        }
        const FunctionInfo& info = functions_[found->second];
        if (info.isExtern && nameToken.text.size() > 255) {
            Fail(nameToken, "外部函数的名称太长");
        }
        vars_.clear();
        code_.clear();
        labels_.clear();
        loops_.clear();
        depth_ = 0;
        drop_ = {};
        ExpectPunct("(");
        if (!Peek().IsPunct(")")) {
            while (true) {
                DeclareVariable(ExpectIdentifier());
                if (!Peek().IsPunct(",")) {
                    break;
                }
                Next();
            }
        }
        ExpectPunct(")");
        const int arguments = static_cast<int>(vars_.size());
        if (arguments != info.arguments) {
            Fail(nameToken, "函数参数写法有误");
        }
        if (!Peek().IsPunct("{")) {
            Expected("“{”");
        }
        ParseBlock();
        if (Peek().IsPunct(";")) {
            Next();
        }
        const bool endsInReturn =
            !code_.empty() && (code_.back().op == op::Return || code_.back().op == op::ReturnEs) &&
            std::none_of(labels_.begin(), labels_.end(),
                         [&](int at) { return at == static_cast<int>(code_.size()); });
        if (!endsInReturn) {
            code_.push_back({op::ReturnEs});
        }
        bodies_.push_back(LayOut(nameToken));
        locals_.push_back(static_cast<int>(vars_.size()) - arguments);
    }

    void DeclareVariable(const Token& name) {
        if (std::find(vars_.begin(), vars_.end(), name.text) != vars_.end()) {
            Fail(name, "变量“" + name.text + "”重复声明");
        }
        if (static_cast<int>(vars_.size()) >= MaxVariables) {
            Fail(name, "变量太多（一个函数的参数和变量最多 255 个）");
        }
        vars_.push_back(name.text);
    }
    int Variable(const Token& name) {
        auto found = std::find(vars_.begin(), vars_.end(), name.text);
        if (found == vars_.end()) {
            Fail(name, "变量“" + name.text + "”未声明");
        }
        return static_cast<int>(found - vars_.begin());
    }

    // ---- statements ----

    // Counts how deep statements and expressions sit inside each other, so
    // that hostile input cannot exhaust the stack.
    class Nest {
    public:
        explicit Nest(Compiler& compiler) : compiler_(compiler) {
            if (compiler_.nesting_ >= MaxNesting) {
                Fail(compiler_.Peek(), "嵌套太深（语句或表达式一层套一层太多）");
            }
            ++compiler_.nesting_;
        }
        ~Nest() { --compiler_.nesting_; }
        Nest(const Nest&) = delete;
        Nest& operator=(const Nest&) = delete;

    private:
        Compiler& compiler_;
    };

    void ParseBlock() {
        Nest nest(*this);
        ExpectPunct("{");
        while (!Peek().IsPunct("}")) {
            if (Peek().kind == TokenKind::End) {
                Expected("“}”");
            }
            ParseStatement();
        }
        Next();
    }

    void ParseStatement() {
        Nest nest(*this);
        drop_ = {};
        const Token& t = Peek();
        if (t.IsPunct("{")) {
            ParseBlock();
        } else if (t.IsPunct(";")) {
            Next();
        } else if (t.IsKeyword("var")) {
            Next();
            ParseVariableDeclarations();
            ExpectPunct(";");
        } else if (t.IsKeyword("if")) {
            Next();
            ExpectPunct("(");
            ParseExpression();
            ExpectPunct(")");
            const int otherwise = NewLabel();
            EmitJump(JumpKind::TJump, otherwise);
            ParseStatement();
            if (Peek().IsKeyword("else")) {
                Next();
                const int end = NewLabel();
                EmitJump(JumpKind::Jump, end);
                Bind(otherwise);
                ParseStatement();
                Bind(end);
            } else {
                Bind(otherwise);
            }
        } else if (t.IsKeyword("while")) {
            Next();
            const int top = NewLabel(), end = NewLabel();
            Bind(top);
            ExpectPunct("(");
            ParseExpression();
            ExpectPunct(")");
            EmitJump(JumpKind::TJump, end);
            loops_.push_back({end, top});
            ParseStatement();
            loops_.pop_back();
            EmitJump(JumpKind::Jump, top);
            Bind(end);
        } else if (t.IsKeyword("for")) {
            Next();
            ParseFor();
        } else if (t.IsKeyword("break") || t.IsKeyword("continue")) {
            const bool isBreak = t.IsKeyword("break");
            if (loops_.empty()) {
                Fail(t, isBreak ? "break 只能用在循环中" : "continue 只能用在循环中");
            }
            Next();
            EmitJump(JumpKind::Jump,
                     isBreak ? loops_.back().breakLabel : loops_.back().continueLabel);
            ExpectPunct(";");
        } else if (t.IsKeyword("return")) {
            Next();
            if (Peek().IsPunct(";")) {
                Emit(op::ReturnEs);
            } else {
                ParseExpression();
                Emit(op::Return);
            }
            ExpectPunct(";");
        } else {
            ParseExpressionStatement();
            ExpectPunct(";");
        }
    }

    void ParseVariableDeclarations() {
        while (true) {
            const Token& name = ExpectIdentifier();
            DeclareVariable(name);
            if (Peek().IsPunct("=")) {
                Next();
                ParseAssignment();
                StoreVariable(static_cast<int>(vars_.size()) - 1);
            }
            if (!Peek().IsPunct(",")) {
                break;
            }
            Next();
        }
    }

    // The third part of a for is written before the body but runs after it:
    // its code is cut out and put back after the body's.
    void ParseFor() {
        ExpectPunct("(");
        if (Peek().IsKeyword("var")) {
            Next();
            ParseVariableDeclarations();
        } else if (!Peek().IsPunct(";")) {
            ParseExpressionStatement();
        }
        ExpectPunct(";");
        const int top = NewLabel(), next = NewLabel(), end = NewLabel();
        Bind(top);
        if (!Peek().IsPunct(";")) {
            ParseExpression();
            EmitJump(JumpKind::TJump, end);
        }
        ExpectPunct(";");
        const std::size_t stepStart = code_.size();
        const int stepLabels = static_cast<int>(labels_.size());
        if (!Peek().IsPunct(")")) {
            ParseExpressionStatement();
        }
        const int stepLabelsEnd = static_cast<int>(labels_.size());
        std::vector<Instruction> step(code_.begin() + static_cast<long>(stepStart), code_.end());
        code_.resize(stepStart);
        drop_ = {};
        ExpectPunct(")");
        loops_.push_back({end, next});
        ParseStatement();
        loops_.pop_back();
        Bind(next);
        const int shift = static_cast<int>(code_.size()) - static_cast<int>(stepStart);
        for (int label = stepLabels; label < stepLabelsEnd; ++label) {
            labels_[label] += shift;
        }
        code_.insert(code_.end(), step.begin(), step.end());
        EmitJump(JumpKind::Jump, top);
        Bind(end);
    }

    void ParseExpressionStatement() {
        ParseExpression();
        Discard();
    }

    // Drops the value an expression left: the copy an assignment or increment
    // loaded for its value is not loaded at all; anything else is popped.
    void Discard() {
        if (drop_.index >= 0 && drop_.size == code_.size()) {
            code_.erase(code_.begin() + drop_.index);
            --depth_;
        } else {
            Emit(op::Pop);
        }
        drop_ = {};
    }

    // ---- expressions ----

    void ParseExpression() {
        ParseAssignment();
        while (Peek().IsPunct(",")) {
            Next();
            Discard();
            ParseAssignment();
        }
    }

    static bool IsAssignmentOperator(const Token& t) {
        if (t.kind != TokenKind::Punctuator) {
            return false;
        }
        constexpr std::string_view Ops[] = {
            "=", "+=", "-=", "*=", "/=", "div=", "%=", "<<=", ">>=", ">>>=", "&=", "^=", "|="};
        return std::find(std::begin(Ops), std::end(Ops), t.text) != std::end(Ops);
    }

    void ParseAssignment() {
        Nest nest(*this);
        if (Peek().kind == TokenKind::Identifier && IsAssignmentOperator(Peek(1))) {
            const Token& name = Next();
            const int var = Variable(name);
            const std::string oper = Next().text;
            if (oper == "=") {
                ParseAssignment();
                StoreVariable(var);
            } else if (oper == "+=" || oper == "-=") {
                ParseAssignment();
                Emit(oper == "+=" ? op::AddAsg : op::SubAsg, var);
            } else {
                LoadVariable(var);
                ParseAssignment();
                Emit(BinaryOpcode(oper.substr(0, oper.size() - 1)));
                StoreVariable(var);
            }
            LoadVariable(var);
            drop_ = {static_cast<int>(code_.size()) - 1, code_.size()};
            return;
        }
        ParseConditional();
    }

    void ParseConditional() {
        ParseLogical(false);
        if (Peek().IsPunct("?")) {
            Next();
            const int otherwise = NewLabel(), end = NewLabel();
            EmitJump(JumpKind::TJump, otherwise);
            const int depth = depth_;
            ParseAssignment();
            EmitJump(JumpKind::Jump, end);
            ExpectPunct(":");
            Bind(otherwise);
            depth_ = depth;
            ParseAssignment();
            Bind(end);
        }
    }

    // || over && over the bitwise operators: each operand is evaluated only
    // when the ones before it have not decided the result.
    void ParseLogical(bool isAnd) {
        if (isAnd) {
            ParseBinary(0);
        } else {
            ParseLogical(true);
        }
        const char* oper = isAnd ? "&&" : "||";
        while (Peek().IsPunct(oper)) {
            Next();
            const int end = NewLabel();
            // SCAND/SCOR take the left value and, when it decides the result,
            // leave the result and false for the jump to take; otherwise they
            // leave only true, and the right operand decides.
            const int before = depth_;
            Emit(isAnd ? op::ScAnd : op::ScOr);
            depth_ = before + 1;
            CheckDepth();
            EmitJump(JumpKind::TJump, end);
            depth_ = before - 1;
            if (isAnd) {
                ParseBinary(0);
            } else {
                ParseLogical(true);
            }
            Emit(op::ToBool);
            Bind(end);
        }
    }

    // The binary operators by precedence, loosest first.
    static constexpr std::string_view Levels[][4] = {{"|"},
                                                     {"^"},
                                                     {"&"},
                                                     {"==", "!="},
                                                     {"<", ">", "<=", ">="},
                                                     {"<<", ">>", ">>>"},
                                                     {"+", "-"},
                                                     {"*", "/", "div", "%"}};
    static constexpr int LevelCount = 8;

    static std::uint8_t BinaryOpcode(std::string_view oper) {
        static const std::map<std::string_view, std::uint8_t> Codes = {
            {"|", op::BOr},    {"^", op::BXor},     {"&", op::BAnd},      {"==", op::Eq},
            {"!=", op::Ne},    {"<", op::Lt},       {">", op::Gt},        {"<=", op::Le},
            {">=", op::Ge},    {"<<", op::BLshift}, {">>", op::BRsshift}, {">>>", op::BRszshift},
            {"+", op::Add},    {"-", op::Sub},      {"*", op::Mul},       {"/", op::Div},
            {"div", op::Idiv}, {"%", op::Rem}};
        return Codes.at(oper);
    }

    void ParseBinary(int level) {
        if (level == LevelCount) {
            ParseUnary();
            return;
        }
        ParseBinary(level + 1);
        while (Peek().kind == TokenKind::Punctuator) {
            const auto& ops = Levels[level];
            const std::string& text = Peek().text;
            if (std::find(std::begin(ops), std::end(ops), text) == std::end(ops) || text.empty()) {
                break;
            }
            const std::string oper = Next().text;
            ParseBinary(level + 1);
            Emit(BinaryOpcode(oper));
        }
    }

    void ParseUnary() {
        Nest nest(*this);
        const Token& t = Peek();
        if (t.IsKeyword("typeof") || t.IsKeyword("isvalid")) {
            Next();
            ParseUnary();
            Emit(t.text == "typeof" ? op::TypeOf : op::IsValid);
        } else if (t.IsPunct("++") || t.IsPunct("--")) {
            const bool up = t.text == "++";
            Next();
            const int var = Variable(ExpectIdentifier());
            Emit(up ? op::IncrVar : op::DecrVar, var);
            LoadVariable(var);
            drop_ = {static_cast<int>(code_.size()) - 1, code_.size()};
        } else if (t.IsPunct("-") &&
                   (Peek(1).kind == TokenKind::Integer || Peek(1).kind == TokenKind::Float)) {
            // A negative literal is one constant (and -2147483648 fits).
            Next();
            const Token& number = Next();
            if (number.kind == TokenKind::Integer) {
                LoadInteger(static_cast<std::int32_t>(-number.integer));
            } else {
                LoadFloat(-number.real);
            }
        } else if (t.IsPunct("-") || t.IsPunct("~") || t.IsPunct("!")) {
            const std::uint8_t code = t.text == "-"   ? op::Uminus
                                      : t.text == "~" ? op::BNot
                                                      : op::Not;
            Next();
            ParseUnary();
            Emit(code);
        } else if (t.IsPunct("+")) {
            // Unary plus makes a number of its operand, as multiplying by 1 does.
            Next();
            ParseUnary();
            Emit(op::Const1);
            Emit(op::Mul);
        } else {
            ParsePostfix();
        }
    }

    void ParsePostfix() {
        if (Peek().kind == TokenKind::Identifier &&
            (Peek(1).IsPunct("++") || Peek(1).IsPunct("--"))) {
            const int var = Variable(Next());
            const bool up = Next().text == "++";
            LoadVariable(var);
            Emit(up ? op::IncrVar : op::DecrVar, var);
            drop_ = {static_cast<int>(code_.size()) - 2, code_.size()};
            return;
        }
        ParsePrimary();
    }

    void ParsePrimary() {
        const Token& t = Peek();
        switch (t.kind) {
            case TokenKind::Integer:
                if (t.integer > 0x7fffffff) {
                    Fail(t, "整数超出 32 位范围");
                }
                Next();
                LoadInteger(static_cast<std::int32_t>(t.integer));
                return;
            case TokenKind::Float:
                Next();
                LoadFloat(t.real);
                return;
            case TokenKind::String:
                Next();
                if (t.text.empty()) {
                    Emit(op::ConstEs);
                } else {
                    LoadConstant(StringConstant(t.text));
                }
                return;
            case TokenKind::True:
                Next();
                Emit(op::ConstTrue);
                return;
            case TokenKind::False:
                Next();
                Emit(op::ConstFalse);
                return;
            case TokenKind::Invalid:
                Next();
                Emit(op::ConstInvalid);
                return;
            case TokenKind::Identifier:
                if (Peek(1).IsPunct("(")) {
                    ParseLocalCall();
                } else if (Peek(1).IsPunct(".")) {
                    ParseLibraryCall();
                } else if (Peek(1).IsPunct("#")) {
                    ParseExternalCall();
                } else {
                    LoadVariable(Variable(Next()));
                }
                return;
            default:
                break;
        }
        if (t.IsPunct("(")) {
            Next();
            ParseExpression();
            ExpectPunct(")");
            return;
        }
        Expected("表达式");
    }

    int ParseArguments() {
        ExpectPunct("(");
        int count = 0;
        if (!Peek().IsPunct(")")) {
            while (true) {
                ParseAssignment();
                drop_ = {};
                ++count;
                if (!Peek().IsPunct(",")) {
                    break;
                }
                Next();
            }
        }
        ExpectPunct(")");
        return count;
    }

    void ParseLocalCall() {
        const Token& name = Next();
        auto found = functionIndex_.find(name.text);
        if (found == functionIndex_.end()) {
            Fail(name, "函数“" + name.text + "”未定义");
        }
        const int count = ParseArguments();
        const FunctionInfo& f = functions_[found->second];
        if (count != f.arguments) {
            Fail(name, "函数“" + name.text + "”需要 " + std::to_string(f.arguments) +
                           " 个参数，这里给了 " + std::to_string(count) + " 个");
        }
        Emit(found->second <= 7 ? op::CallS : op::Call, found->second);
        depth_ += 1 - count;
    }

    void ParseLibraryCall() {
        const Token& library = Next();
        Next();  // .
        if (!IsLibraryName(library.text)) {
            Fail(library, "没有名为“" + library.text + "”的库");
        }
        const Token& name = ExpectIdentifier();
        const LibraryFunction* f = FindLibraryFunction(library.text, name.text);
        if (f == nullptr) {
            Fail(name, "库 " + library.text + " 中没有函数“" + name.text + "”");
        }
        const int count = ParseArguments();
        if (count != f->arguments) {
            Fail(name, library.text + "." + name.text + " 需要 " + std::to_string(f->arguments) +
                           " 个参数，这里给了 " + std::to_string(count) + " 个");
        }
        Emit(f->functionIndex <= 7 ? op::CallLibS : op::CallLib, f->functionIndex, f->libraryIndex);
        depth_ += 1 - count;
    }

    void ParseExternalCall() {
        const Token& unit = Next();
        Next();  // #
        auto found = urls_.find(unit.text);
        if (found == urls_.end()) {
            Fail(unit, "“" + unit.text + "”没有用 use url 声明");
        }
        const Token& name = ExpectIdentifier();
        const int url = StringConstant(found->second);
        const int function = StringConstant(name.text);
        const int count = ParseArguments();
        if (count > 255) {
            Fail(name, "参数太多（最多 255 个）");
        }
        Emit(url <= 255 && function <= 255 ? op::CallUrl : op::CallUrlW, url, function, count);
        depth_ += 1 - count;
    }

    // ---- emitting ----

    void LoadInteger(std::int32_t value) {
        if (value == 0) {
            Emit(op::Const0);
        } else if (value == 1) {
            Emit(op::Const1);
        } else if (value == -1) {
            Emit(op::ConstM1);
        } else {
            LoadConstant(IntegerConstant(value));
        }
    }
    void LoadFloat(float value) { LoadConstant(FloatConstant(value)); }
    void LoadConstant(int index) {
        Emit(index <= 15 ? op::LoadConstS : index <= 255 ? op::LoadConst : op::LoadConstW, index);
    }
    void LoadVariable(int var) { Emit(var <= 31 ? op::LoadVarS : op::LoadVar, var); }
    void StoreVariable(int var) { Emit(var <= 15 ? op::StoreVarS : op::StoreVar, var); }

    // Depth change of the instructions whose change is fixed; calls add theirs
    // where they are emitted.
    static int StackEffect(std::uint8_t code) {
        const StackUse use = FixedStackUse(code);
        return use.pushes - use.pops;
    }

    void Emit(std::uint8_t code, int a = 0, int b = 0, int c = 0) {
        code_.push_back({code, a, b, c});
        depth_ += StackEffect(code);
        CheckDepth();
    }
    void CheckDepth() {
        if (depth_ > MaxStackDepth) {
            Fail(Peek(), "表达式太复杂（操作数栈超过 1024 项）");
        }
    }
    void EmitJump(JumpKind kind, int label) {
        code_.push_back({kind == JumpKind::Jump ? op::JumpFw : op::TJumpFw, 0, 0, 0, label});
        if (kind == JumpKind::TJump) {
            --depth_;
        }
    }
    int NewLabel() {
        labels_.push_back(-1);
        return static_cast<int>(labels_.size()) - 1;
    }
    void Bind(int label) {
        labels_[label] = static_cast<int>(code_.size());
        drop_ = {};  // a value that may arrive by a jump is no longer only ours
    }

    // ---- layout ----

    static int OperandBytes(const Instruction& in) { return OperandWidthsOf(in.op).Bytes(); }

    // Chooses each jump's encoding, the shortest its offset allows; a jump
    // that grows can only push others further, so the sizes only grow and
    // the loop ends.
    std::string LayOut(const Token& function) {
        const std::size_t n = code_.size();
        std::vector<int> size(n), start(n + 1);
        for (std::size_t i = 0; i < n; ++i) {
            const Instruction& in = code_[i];
            size[i] = 1 + (in.label >= 0 ? 0 : OperandBytes(in));
            if (in.op == op::IncrVar && in.a <= 7) {
                size[i] = 1;
            }
        }
        for (bool changed = true; changed;) {
            changed = false;
            start[0] = 0;
            for (std::size_t i = 0; i < n; ++i) {
                start[i + 1] = start[i] + size[i];
            }
            for (std::size_t i = 0; i < n; ++i) {
                if (code_[i].label < 0) {
                    continue;
                }
                const int need = JumpSize(code_[i], static_cast<int>(i), start, size[i], function);
                if (need > size[i]) {
                    size[i] = need;
                    changed = true;
                }
            }
        }
        std::string out;
        out.reserve(start[n]);
        for (std::size_t i = 0; i < n; ++i) {
            Encode(out, code_[i], static_cast<int>(i), start, size[i]);
        }
        return out;
    }

    // (forward?, offset) of a jump at index i, with the sizes as they are.
    std::pair<bool, int> JumpOffset(const Instruction& in, int i, const std::vector<int>& start,
                                    int size) const {
        const int target = labels_[in.label];
        if (target > i) {
            return {true, start[target] - (start[i] + size)};
        }
        return {false, start[i] - start[target]};
    }

    int JumpSize(const Instruction& in, int i, const std::vector<int>& start, int size,
                 const Token& function) const {
        const auto [forward, offset] = JumpOffset(in, i, start, size);
        const bool hasShort = forward || in.op == op::JumpFw;  // no TJUMP_BW_S
        if (hasShort && offset <= 31) {
            return 1;
        }
        if (offset <= 255) {
            return 2;
        }
        if (offset <= 65535) {
            return 3;
        }
        Fail(function, "函数太大，跳转超出范围");
    }

    void Encode(std::string& out, const Instruction& in, int i, const std::vector<int>& start,
                int size) const {
        if (in.label >= 0) {
            const auto [forward, offset] = JumpOffset(in, i, start, size);
            const bool isJump = in.op == op::JumpFw;
            if (size == 1) {
                out.push_back(static_cast<char>(
                    (isJump ? (forward ? op::JumpFwS : op::JumpBwS) : op::TJumpFwS) | offset));
                return;
            }
            std::uint8_t code = isJump ? (forward ? op::JumpFw : op::JumpBw)
                                       : (forward ? op::TJumpFw : op::TJumpBw);
            if (size == 3) {
                ++code;  // each wide form follows its byte form
            }
            out.push_back(static_cast<char>(code));
            if (size == 3) {
                AppendU16(out, static_cast<unsigned>(offset));
            } else {
                out.push_back(static_cast<char>(offset));
            }
            return;
        }
        const auto byte = [&](int v) { out.push_back(static_cast<char>(v & 0xff)); };
        switch (in.op) {
            case op::LoadVarS:
            case op::StoreVarS:
            case op::LoadConstS:
            case op::CallS:
                byte(in.op | in.a);
                return;
            case op::CallLibS:
                byte(in.op | in.a);
                byte(in.b);
                return;
            case op::IncrVar:
                if (in.a <= 7) {
                    byte(op::IncrVarS | in.a);
                    return;
                }
                break;
            case op::CallLib:
                byte(in.op);
                byte(in.a);
                byte(in.b);
                return;
            case op::LoadConstW:
                byte(in.op);
                AppendU16(out, static_cast<unsigned>(in.a));
                return;
            case op::CallUrl:
                byte(in.op);
                byte(in.a);
                byte(in.b);
                byte(in.c);
                return;
            case op::CallUrlW:
                byte(in.op);
                AppendU16(out, static_cast<unsigned>(in.a));
                AppendU16(out, static_cast<unsigned>(in.b));
                byte(in.c);
                return;
            default:
                break;
        }
        byte(in.op);
        if (OperandBytes(in) == 1) {
            byte(in.a);
        }
    }

    // ---- the unit ----

    std::string WriteUnit() {
        std::string body;
        AppendMultiByte(body, static_cast<std::uint32_t>(constants_.size()));
        AppendMultiByte(body, Utf8Charset);
        for (const auto& [type, bytes] : constants_) {
            body.push_back(static_cast<char>(type));
            if (type == ConstantType::Utf8String) {
                AppendMultiByte(body, static_cast<std::uint32_t>(bytes.size()));
            }
            body += bytes;
        }
        AppendMultiByte(body, static_cast<std::uint32_t>(pragmas_.size()));
        for (const Pragma& p : pragmas_) {
            body.push_back(static_cast<char>(p.type));
            for (int index : p.constants) {
                AppendMultiByte(body, static_cast<std::uint32_t>(index));
            }
        }
        body.push_back(static_cast<char>(functions_.size()));
        int externs = 0;
        for (const FunctionInfo& f : functions_) {
            externs += f.isExtern ? 1 : 0;
        }
        body.push_back(static_cast<char>(externs));
        for (std::size_t i = 0; i < functions_.size(); ++i) {
            if (functions_[i].isExtern) {
                body.push_back(static_cast<char>(i));
                body.push_back(static_cast<char>(functions_[i].name.size()));
                body += functions_[i].name;
            }
        }
        for (std::size_t i = 0; i < functions_.size(); ++i) {
            body.push_back(static_cast<char>(functions_[i].arguments));
            body.push_back(static_cast<char>(locals_[i]));
            AppendMultiByte(body, static_cast<std::uint32_t>(bodies_[i].size()));
            body += bodies_[i];
        }
        std::string unit(1, static_cast<char>(UnitVersion));
        AppendMultiByte(unit, static_cast<std::uint32_t>(body.size()));
        unit += body;
        if (unit.size() > MaxUnitBytes) {
            Fail(tokens_.back(), "编译结果太大（超过 256 KB）");
        }
        return unit;
    }

    struct Loop {
        int breakLabel, continueLabel;
    };
    struct Drop {
        int index = -1;
        std::size_t size = 0;
    };

    std::vector<Token> tokens_;
    std::size_t pos_ = 0;
    int nesting_ = 0;

    std::vector<FunctionInfo> functions_;
    std::unordered_map<std::string, int> functionIndex_;
    std::map<std::string, std::string> urls_;
    bool hasAccess_ = false;
    std::vector<Pragma> pragmas_;
    std::vector<std::pair<ConstantType, std::string>> constants_;
    std::unordered_map<std::string, int> constantIndex_;
    std::vector<std::string> bodies_;
    std::vector<int> locals_;

    // The function being compiled.
    std::vector<std::string> vars_;
    std::vector<Instruction> code_;
    std::vector<int> labels_;  // instruction index each label stands before, or -1
    std::vector<Loop> loops_;
    int depth_ = 0;
    Drop drop_;
};

}  // namespace

CompileResult Compile(std::string_view source) {
    CompileResult result;
    if (source.size() > MaxSourceBytes) {
        result.line = 1;
        result.column = 1;
        result.message = "脚本太大（超过 1 MB）";
        return result;
    }
    std::vector<Token> tokens;
    LexError lexError;
    if (!Tokenize(source, tokens, lexError)) {
        result.line = lexError.line;
        result.column = lexError.column;
        result.message = std::move(lexError.message);
        return result;
    }
    try {
        result.unit = Compiler(std::move(tokens)).Run();
        result.ok = true;
    } catch (const CompileError& error) {
        result.line = error.line;
        result.column = error.column;
        result.message = error.message;
    }
    return result;
}

}  // namespace tessaly::wap::wmlscript

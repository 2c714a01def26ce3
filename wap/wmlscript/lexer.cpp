#include "lexer.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "unit_format.h"

namespace tessaly::wap::wmlscript {
namespace {

// Words of the language. The pragma words (access, agent, domain, ...) are
// keywords too, as the language defines them.
constexpr std::string_view Keywords[] = {
    "access", "agent",    "break",  "continue", "domain", "else",    "equiv", "extern",
    "for",    "function", "header", "http",     "if",     "isvalid", "meta",  "name",
    "path",   "return",   "typeof", "url",      "use",    "user",    "var",   "while"};

// Words kept for later versions of the language; never names.
constexpr std::string_view Reserved[] = {
    "delete", "in",     "lib",    "new",     "null",    "this",     "void",
    "with",   "case",   "catch",  "class",   "const",   "debugger", "default",
    "do",     "enum",   "export", "extends", "finally", "import",   "private",
    "public", "sizeof", "struct", "super",   "switch",  "throw",    "try"};

// Longest first, so that the longest operator wins ("div" and "div=" are
// words, read with the names).
constexpr std::string_view Punctuators[] = {
    ">>>=", ">>>", "<<=", ">>=", "==", "!=", "<=", ">=", "&&", "||", "++", "--", "+=", "-=", "*=",
    "/=",   "%=",  "&=",  "|=",  "^=", "<<", ">>", "=",  ">",  "<",  "!",  "~",  "?",  ":",  ".",
    "+",    "-",   "*",   "/",   "&",  "|",  "^",  "%",  "(",  ")",  "{",  "}",  ",",  ";",  "#"};

bool IsWord(std::string_view word, auto const& list) {
    for (std::string_view w : list) {
        if (w == word) {
            return true;
        }
    }
    return false;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsHex(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
bool IsIdStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
bool IsIdPart(char c) {
    return IsIdStart(c) || IsDigit(c);
}
int HexValue(char c) {
    return IsDigit(c) ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : c - 'A' + 10;
}

void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xc0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3f)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xe0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3f)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3f)));
    } else {
        out.push_back(static_cast<char>(0xf0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3f)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3f)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3f)));
    }
}

class Lexer {
public:
    Lexer(std::string_view source, std::vector<Token>& tokens, LexError& error)
        : src_(source), tokens_(tokens), error_(error) {}

    bool Run() {
        // A byte-order mark left by the editor that saved the script.
        if (src_.substr(0, 3) == "\xef\xbb\xbf") {
            at_ = 3;
        }
        while (true) {
            if (!SkipSpaceAndComments()) {
                return false;
            }
            Token token;
            token.line = line_;
            token.column = column_;
            token.offset = at_;
            if (at_ >= src_.size()) {
                tokens_.push_back(std::move(token));
                return true;
            }
            const char c = src_[at_];
            bool ok = true;
            if (IsIdStart(c)) {
                Word(token);
            } else if (IsDigit(c) ||
                       (c == '.' && at_ + 1 < src_.size() && IsDigit(src_[at_ + 1]))) {
                ok = Number(token);
            } else if (c == '"' || c == '\'') {
                ok = StringLiteral(token);
            } else {
                ok = Punctuator(token);
            }
            if (!ok) {
                return false;
            }
            tokens_.push_back(std::move(token));
        }
    }

private:
    bool Fail(int line, int column, std::string message) {
        error_.line = line;
        error_.column = column;
        error_.message = std::move(message);
        return false;
    }

    // Moves past one character (one UTF-8 sequence, or one byte if invalid).
    void Advance() {
        // A line ends at LF, CR LF or a lone CR.
        const bool lineEnd =
            src_[at_] == '\n' ||
            (src_[at_] == '\r' && (at_ + 1 >= src_.size() || src_[at_ + 1] != '\n'));
        if (lineEnd) {
            ++line_;
            column_ = 1;
            ++at_;
            return;
        }
        const std::size_t length = Utf8Length(src_, at_);
        at_ += length == 0 ? 1 : length;
        ++column_;
    }

    bool SkipSpaceAndComments() {
        while (at_ < src_.size()) {
            const char c = src_[at_];
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') {
                Advance();
            } else if (c == '/' && at_ + 1 < src_.size() && src_[at_ + 1] == '/') {
                while (at_ < src_.size() && src_[at_] != '\n' && src_[at_] != '\r') {
                    Advance();
                }
            } else if (c == '/' && at_ + 1 < src_.size() && src_[at_ + 1] == '*') {
                const int line = line_, column = column_;
                Advance();
                Advance();
                while (true) {
                    if (at_ >= src_.size()) {
                        return Fail(line, column, "注释没有结束（缺少 */）");
                    }
                    if (src_[at_] == '*' && at_ + 1 < src_.size() && src_[at_ + 1] == '/') {
                        Advance();
                        Advance();
                        break;
                    }
                    Advance();
                }
            } else {
                break;
            }
        }
        return true;
    }

    void Word(Token& token) {
        const std::size_t start = at_;
        while (at_ < src_.size() && IsIdPart(src_[at_])) {
            Advance();
        }
        token.text = std::string(src_.substr(start, at_ - start));
        if (token.text == "div" && at_ < src_.size() && src_[at_] == '=') {
            Advance();
            token.kind = TokenKind::Punctuator;
            token.text = "div=";
        } else if (token.text == "div") {
            token.kind = TokenKind::Punctuator;
        } else if (token.text == "true") {
            token.kind = TokenKind::True;
        } else if (token.text == "false") {
            token.kind = TokenKind::False;
        } else if (token.text == "invalid") {
            token.kind = TokenKind::Invalid;
        } else if (IsWord(token.text, Keywords)) {
            token.kind = TokenKind::Keyword;
        } else if (IsWord(token.text, Reserved)) {
            token.kind = TokenKind::Keyword;  // the parser refuses it wherever it stands
        } else {
            token.kind = TokenKind::Identifier;
        }
    }

    bool Number(Token& token) {
        const std::size_t start = at_;
        const int line = line_, column = column_;
        auto digitsWhile = [&](auto accept) {
            while (at_ < src_.size() && accept(src_[at_])) {
                Advance();
            }
        };
        if (src_[at_] == '0' && at_ + 1 < src_.size() &&
            (src_[at_ + 1] == 'x' || src_[at_ + 1] == 'X')) {
            Advance();
            Advance();
            const std::size_t digits = at_;
            digitsWhile(IsHex);
            if (at_ == digits) {
                return Fail(line, column, "十六进制数缺少数字");
            }
            std::int64_t value = 0;
            for (std::size_t i = digits; i < at_; ++i) {
                value = value * 16 + HexValue(src_[i]);
                if (value > 0x80000000LL) {
                    return Fail(line, column, "整数超出 32 位范围");
                }
            }
            token.kind = TokenKind::Integer;
            token.integer = value;
            return CheckNumberEnd(line, column);
        }
        digitsWhile(IsDigit);
        bool isFloat = false;
        if (at_ < src_.size() && src_[at_] == '.') {
            isFloat = true;
            Advance();
            digitsWhile(IsDigit);
        }
        if (at_ < src_.size() && (src_[at_] == 'e' || src_[at_] == 'E')) {
            isFloat = true;
            Advance();
            if (at_ < src_.size() && (src_[at_] == '+' || src_[at_] == '-')) {
                Advance();
            }
            const std::size_t digits = at_;
            digitsWhile(IsDigit);
            if (at_ == digits) {
                return Fail(line, column, "浮点数的指数缺少数字");
            }
        }
        const std::string text(src_.substr(start, at_ - start));
        if (isFloat) {
            errno = 0;
            const double value = std::strtod(text.c_str(), nullptr);
            const float rounded = static_cast<float>(value);
            if (std::isinf(rounded) || std::isnan(rounded)) {
                return Fail(line, column, "浮点数超出 32 位范围");
            }
            token.kind = TokenKind::Float;
            token.real = rounded;
            return CheckNumberEnd(line, column);
        }
        const bool octal = text.size() > 1 && text[0] == '0';
        std::int64_t value = 0;
        for (char d : text) {
            if (octal && d > '7') {
                return Fail(line, column, "八进制数中有 8 或 9");
            }
            value = value * (octal ? 8 : 10) + (d - '0');
            if (value > 0x80000000LL) {
                return Fail(line, column, "整数超出 32 位范围");
            }
        }
        token.kind = TokenKind::Integer;
        token.integer = value;
        return CheckNumberEnd(line, column);
    }

    // "12abc" is no number followed by a name.
    bool CheckNumberEnd(int line, int column) {
        if (at_ < src_.size() && (IsIdPart(src_[at_]) || src_[at_] == '.')) {
            return Fail(line, column, "数字写法有误");
        }
        return true;
    }

    bool StringLiteral(Token& token) {
        const char quote = src_[at_];
        const int line = line_, column = column_;
        Advance();
        std::string value;
        while (true) {
            if (at_ >= src_.size() || src_[at_] == '\n' || src_[at_] == '\r') {
                return Fail(line, column, "字符串没有结束（缺少引号）");
            }
            const char c = src_[at_];
            if (c == quote) {
                Advance();
                break;
            }
            if (c != '\\') {
                const std::size_t length = Utf8Length(src_, at_);
                if (length == 0) {
                    return Fail(line_, column_, "字符串中有无效的 UTF-8 字节");
                }
                value.append(src_.substr(at_, length));
                Advance();
                continue;
            }
            const int escLine = line_, escColumn = column_;
            Advance();
            if (at_ >= src_.size()) {
                return Fail(line, column, "字符串没有结束（缺少引号）");
            }
            const char e = src_[at_];
            switch (e) {
                case '\'':
                case '"':
                case '\\':
                case '/':
                    value.push_back(e);
                    Advance();
                    break;
                case 'b':
                    value.push_back('\b');
                    Advance();
                    break;
                case 'f':
                    value.push_back('\f');
                    Advance();
                    break;
                case 'n':
                    value.push_back('\n');
                    Advance();
                    break;
                case 'r':
                    value.push_back('\r');
                    Advance();
                    break;
                case 't':
                    value.push_back('\t');
                    Advance();
                    break;
                case 'x': {
                    Advance();
                    if (at_ + 1 >= src_.size() || !IsHex(src_[at_]) || !IsHex(src_[at_ + 1])) {
                        return Fail(escLine, escColumn, "\\x 后应有两位十六进制数字");
                    }
                    AppendUtf8(value, HexValue(src_[at_]) * 16 + HexValue(src_[at_ + 1]));
                    Advance();
                    Advance();
                    break;
                }
                case 'u': {
                    Advance();
                    std::uint32_t unit = 0;
                    if (!ReadHex4(unit)) {
                        return Fail(escLine, escColumn, "\\u 后应有四位十六进制数字");
                    }
                    if (unit >= 0xdc00 && unit <= 0xdfff) {
                        return Fail(escLine, escColumn, "\\u 转义是落单的代理项");
                    }
                    if (unit >= 0xd800 && unit <= 0xdbff) {
                        std::uint32_t low = 0;
                        if (at_ + 1 >= src_.size() || src_[at_] != '\\' || src_[at_ + 1] != 'u') {
                            return Fail(escLine, escColumn, "\\u 转义是落单的代理项");
                        }
                        Advance();
                        Advance();
                        if (!ReadHex4(low) || low < 0xdc00 || low > 0xdfff) {
                            return Fail(escLine, escColumn, "\\u 转义是落单的代理项");
                        }
                        unit = 0x10000 + ((unit - 0xd800) << 10) + (low - 0xdc00);
                    }
                    AppendUtf8(value, unit);
                    break;
                }
                default:
                    if (e >= '0' && e <= '7') {
                        // \o, \oo, or \ooo with the first digit 0..3: at most 0377.
                        int code = 0;
                        const int most = e <= '3' ? 3 : 2;
                        for (int n = 0;
                             n < most && at_ < src_.size() && src_[at_] >= '0' && src_[at_] <= '7';
                             ++n) {
                            code = code * 8 + (src_[at_] - '0');
                            Advance();
                        }
                        AppendUtf8(value, static_cast<std::uint32_t>(code));
                        break;
                    }
                    return Fail(escLine, escColumn, "字符串中有无法识别的转义序列");
            }
        }
        token.kind = TokenKind::String;
        token.text = std::move(value);
        return true;
    }

    bool ReadHex4(std::uint32_t& out) {
        if (at_ + 4 > src_.size()) {
            return false;
        }
        out = 0;
        for (int i = 0; i < 4; ++i) {
            if (!IsHex(src_[at_])) {
                return false;
            }
            out = out * 16 + HexValue(src_[at_]);
            Advance();
        }
        return true;
    }

    bool Punctuator(Token& token) {
        for (std::string_view p : Punctuators) {
            if (src_.substr(at_, p.size()) == p) {
                token.kind = TokenKind::Punctuator;
                token.text = std::string(p);
                for (std::size_t i = 0; i < p.size(); ++i) {
                    Advance();
                }
                return true;
            }
        }
        return Fail(line_, column_, "无法识别的字符");
    }

    std::string_view src_;
    std::vector<Token>& tokens_;
    LexError& error_;
    std::size_t at_ = 0;
    int line_ = 1, column_ = 1;
};

}  // namespace

bool Tokenize(std::string_view source, std::vector<Token>& tokens, LexError& error) {
    tokens.clear();
    return Lexer(source, tokens, error).Run();
}

}  // namespace tessaly::wap::wmlscript

#pragma once

// The WMLScript lexer: source text to tokens, with the line and column (in
// characters, 1-based) where each begins.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly::wap::wmlscript {

enum class TokenKind {
    End,
    Identifier,
    Keyword,     // text holds the word
    Punctuator,  // text holds the operator or separator
    Integer,     // integer holds the value (0 .. 2^31, the sign is the parser's)
    Float,       // real holds the value, already rounded to 32 bits
    String,      // text holds the value in UTF-8
    True,
    False,
    Invalid,
};

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text;
    std::int64_t integer = 0;
    float real = 0;
    int line = 1, column = 1;
    std::size_t offset = 0;  // bytes into the source, for the message of a bad number

    bool Is(TokenKind k, std::string_view t) const { return kind == k && text == t; }
    bool IsPunct(std::string_view t) const { return Is(TokenKind::Punctuator, t); }
    bool IsKeyword(std::string_view t) const { return Is(TokenKind::Keyword, t); }
};

struct LexError {
    int line = 0, column = 0;
    std::string message;
};

// Splits the whole source; false with the first error.
bool Tokenize(std::string_view source, std::vector<Token>& tokens, LexError& error);

}  // namespace tessaly::wap::wmlscript

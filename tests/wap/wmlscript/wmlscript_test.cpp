// The WMLScript compiler and verifier: sources to their listings and bytes,
// sources to their errors, and units a byte away from valid that the
// verifier must refuse.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "wmlscript.h"

namespace {

using namespace tessaly::wap::wmlscript;

std::string Repeat(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

// "p0, p1, ..." with `separator` between.
std::string Numbered(const std::string& prefix, int count, const std::string& separator = ", ") {
    std::string out;
    for (int i = 0; i < count; ++i) {
        out += (i ? separator : "") + prefix + std::to_string(i);
    }
    return out;
}

std::string Hex(std::string_view bytes) {
    std::string out;
    char digits[4];
    for (unsigned char c : bytes) {
        std::snprintf(digits, sizeof digits, "%02x ", c);
        out += digits;
    }
    if (!out.empty()) {
        out.pop_back();
    }
    return out;
}

struct ListingCase {
    std::string name;
    std::string source;
    std::string expected;  // whole lines of the listing, in order
};

// Each source compiles, passes the verifier, and its listing holds the
// expected lines: the encodings chosen (short, byte or wide), the constant
// pool, the pragmas, the shape of loops, short-circuits and calls.
TEST(WmlScriptCompiler, ListsWhatItCompiles) {
    const std::string body16 = Repeat("a = b; ", 16);
    const std::vector<ListingCase> cases = {
        {"a function without return ends with RETURN_ES", "function f() {}",
         "函数 0（参数 0，局部变量 0）\n  0000 RETURN_ES\n"},
        {"literals: the CONST_ forms, then the smallest integer type, float32, UTF-8, once each",
         "extern function f() { var a = 0, b = 1, c = -1, d = 5, e = -129, g = 70000, "
         "h = -2147483648, i = 1.5, j = '', k = \"abc\", l = 'abc', m = true, n = false, "
         "o = invalid, p = -128, q = 127, r = 128, s = 32767, t = 32768; }",
         "版本 1.1，字符集 106\n常量 11 个\n  #0 int8 5\n  #1 int16 -129\n  #2 int32 70000\n"
         "  #3 int32 -2147483648\n  #4 float32 1.5\n  #5 utf8 \"abc\"\n  #6 int8 -128\n"
         "  #7 int8 127\n  #8 int16 128\n  #9 int16 32767\n  #10 int32 32768\n杂注 0 个\n"
         "函数 1 个\n函数 0 extern f（参数 0，局部变量 19）\n"
         "  0000 CONST_0\n  0001 STORE_VAR_S 0\n  0002 CONST_1\n  0003 STORE_VAR_S 1\n"
         "  0004 CONST_M1\n  0005 STORE_VAR_S 2\n  0006 LOAD_CONST_S 0\n  0007 STORE_VAR_S 3\n"
         "  0008 LOAD_CONST_S 1\n  0009 STORE_VAR_S 4\n  0010 LOAD_CONST_S 2\n"
         "  0011 STORE_VAR_S 5\n  0012 LOAD_CONST_S 3\n  0013 STORE_VAR_S 6\n"
         "  0014 LOAD_CONST_S 4\n  0015 STORE_VAR_S 7\n  0016 CONST_ES\n  0017 STORE_VAR_S 8\n"
         "  0018 LOAD_CONST_S 5\n  0019 STORE_VAR_S 9\n  0020 LOAD_CONST_S 5\n"
         "  0021 STORE_VAR_S 10\n  0022 CONST_TRUE\n  0023 STORE_VAR_S 11\n"
         "  0024 CONST_FALSE\n  0025 STORE_VAR_S 12\n  0026 CONST_INVALID\n"
         "  0027 STORE_VAR_S 13\n  0028 LOAD_CONST_S 6\n  0029 STORE_VAR_S 14\n"
         "  0030 LOAD_CONST_S 7\n  0031 STORE_VAR_S 15\n  0032 LOAD_CONST_S 8\n"
         "  0033 STORE_VAR 16\n"},
        {"string escapes, hex and octal integers, exponents, comments",
         "function f() { /* a\n comment */ return 'q\\'\\\"\\\\\\/\\b\\f\\n\\r\\t\\x41\\101\\7"
         "\\u4e2d\\ud83d\\ude00\\477' // to the end\n + 0x7fffffff + 017 + 2.5e-1; }",
         "  #0 utf8 \"q'\\\"\\\\/\\x08\\x0c\\x0a\\x0d\\x09AA\\x07中😀'7\"\n"
         "  #1 int32 2147483647\n  #2 int8 15\n  #3 float32 0.25\n"},
        {"operators, by precedence",
         "function f(a, b) { return a + b * -a div (b - a) % 3 << 1 >> 2 >>> 3 < 4 == (a != b) "
         "& a | b ^ ~a; }",
         "  0000 LOAD_VAR_S 0\n  0001 LOAD_VAR_S 1\n  0002 LOAD_VAR_S 0\n  0003 UMINUS\n"
         "  0004 MUL\n  0005 LOAD_VAR_S 1\n  0006 LOAD_VAR_S 0\n  0007 SUB\n  0008 IDIV\n"
         "  0009 LOAD_CONST_S 0\n  0010 REM\n  0011 ADD\n  0012 CONST_1\n  0013 B_LSHIFT\n"
         "  0014 LOAD_CONST_S 1\n  0015 B_RSSHIFT\n  0016 LOAD_CONST_S 0\n  0017 B_RSZSHIFT\n"
         "  0018 LOAD_CONST_S 2\n  0019 LT\n  0020 LOAD_VAR_S 0\n  0021 LOAD_VAR_S 1\n"
         "  0022 NE\n  0023 EQ\n  0024 LOAD_VAR_S 0\n  0025 B_AND\n  0026 LOAD_VAR_S 1\n"
         "  0027 LOAD_VAR_S 0\n  0028 B_NOT\n  0029 B_XOR\n  0030 B_OR\n  0031 RETURN\n"},
        {"comparisons, unary operators and nested conditionals",
         "function f(a) { return a <= 1 ? !a : a >= 2 ? typeof a : isvalid (a > 3); }",
         "  0000 LOAD_VAR_S 0\n  0001 CONST_1\n  0002 LE\n  0003 TJUMP_FW_S 3 -> 0007\n"
         "  0004 LOAD_VAR_S 0\n  0005 NOT\n  0006 JUMP_FW_S 11 -> 0018\n"
         "  0007 LOAD_VAR_S 0\n  0008 LOAD_CONST_S 0\n  0009 GE\n  0010 TJUMP_FW_S 3 -> 0014\n"
         "  0011 LOAD_VAR_S 0\n  0012 TYPEOF\n  0013 JUMP_FW_S 4 -> 0018\n"
         "  0014 LOAD_VAR_S 0\n  0015 LOAD_CONST_S 1\n  0016 GT\n  0017 ISVALID\n"
         "  0018 RETURN\n"},
        {"assignments and increments: the value is loaded only where it is used",
         "function f(a) { var b = a = 2; a += 1; a -= b; a *= 2; a /= 2; a div= 2; a %= 2; "
         "a <<= 1; a >>= 1; a >>>= 1; a &= 1; a ^= 1; a |= 1; a++; ++a; a--; --a; "
         "return a++ + --b; }",
         "  0000 LOAD_CONST_S 0\n  0001 STORE_VAR_S 0\n  0002 LOAD_VAR_S 0\n"
         "  0003 STORE_VAR_S 1\n  0004 CONST_1\n  0005 ADD_ASG 0\n  0007 LOAD_VAR_S 1\n"
         "  0008 SUB_ASG 0\n  0010 LOAD_VAR_S 0\n  0011 LOAD_CONST_S 0\n  0012 MUL\n"
         "  0013 STORE_VAR_S 0\n  0014 LOAD_VAR_S 0\n  0015 LOAD_CONST_S 0\n  0016 DIV\n"
         "  0017 STORE_VAR_S 0\n  0018 LOAD_VAR_S 0\n  0019 LOAD_CONST_S 0\n  0020 IDIV\n"
         "  0021 STORE_VAR_S 0\n  0022 LOAD_VAR_S 0\n  0023 LOAD_CONST_S 0\n  0024 REM\n"
         "  0025 STORE_VAR_S 0\n  0026 LOAD_VAR_S 0\n  0027 CONST_1\n  0028 B_LSHIFT\n"
         "  0029 STORE_VAR_S 0\n  0030 LOAD_VAR_S 0\n  0031 CONST_1\n  0032 B_RSSHIFT\n"
         "  0033 STORE_VAR_S 0\n  0034 LOAD_VAR_S 0\n  0035 CONST_1\n  0036 B_RSZSHIFT\n"
         "  0037 STORE_VAR_S 0\n  0038 LOAD_VAR_S 0\n  0039 CONST_1\n  0040 B_AND\n"
         "  0041 STORE_VAR_S 0\n  0042 LOAD_VAR_S 0\n  0043 CONST_1\n  0044 B_XOR\n"
         "  0045 STORE_VAR_S 0\n  0046 LOAD_VAR_S 0\n  0047 CONST_1\n  0048 B_OR\n"
         "  0049 STORE_VAR_S 0\n  0050 INCR_VAR_S 0\n  0051 INCR_VAR_S 0\n  0052 DECR_VAR 0\n"
         "  0054 DECR_VAR 0\n  0056 LOAD_VAR_S 0\n  0057 INCR_VAR_S 0\n  0058 DECR_VAR 1\n"
         "  0060 LOAD_VAR_S 1\n  0061 ADD\n  0062 RETURN\n"},
        {"expression statements and the comma operator pop what they leave",
         "function f(a) { a; a + 1, a = 2; (a = 3); +a; }",
         "  0000 LOAD_VAR_S 0\n  0001 POP\n  0002 LOAD_VAR_S 0\n  0003 CONST_1\n  0004 ADD\n"
         "  0005 POP\n  0006 LOAD_CONST_S 0\n  0007 STORE_VAR_S 0\n  0008 LOAD_CONST_S 1\n"
         "  0009 STORE_VAR_S 0\n  0010 LOAD_VAR_S 0\n  0011 CONST_1\n  0012 MUL\n"
         "  0013 POP\n  0014 RETURN_ES\n"},
        {"short-circuit && and ||: SCAND/SCOR, a conditional jump past the right side, TOBOOL",
         "function f(a, b, c) { return a && b || c; }",
         "  0000 LOAD_VAR_S 0\n  0001 SCAND\n  0002 TJUMP_FW_S 2 -> 0005\n  0003 LOAD_VAR_S 1\n"
         "  0004 TOBOOL\n  0005 SCOR\n  0006 TJUMP_FW_S 2 -> 0009\n  0007 LOAD_VAR_S 2\n"
         "  0008 TOBOOL\n  0009 RETURN\n"},
        {"if and else", "function f(a) { if (a) a = 1; else { a = 2; } if (!a) return; }",
         "  0000 LOAD_VAR_S 0\n  0001 TJUMP_FW_S 3 -> 0005\n  0002 CONST_1\n"
         "  0003 STORE_VAR_S 0\n  0004 JUMP_FW_S 2 -> 0007\n  0005 LOAD_CONST_S 0\n"
         "  0006 STORE_VAR_S 0\n  0007 LOAD_VAR_S 0\n  0008 NOT\n  0009 TJUMP_FW_S 1 -> 0011\n"
         "  0010 RETURN_ES\n  0011 RETURN_ES\n"},
        {"while with break and continue; a backward jump counts from its own first byte",
         "function f(a) { while (a) { if (a == 2) break; a--; continue; } }",
         "  0000 LOAD_VAR_S 0\n  0001 TJUMP_FW_S 9 -> 0011\n  0002 LOAD_VAR_S 0\n"
         "  0003 LOAD_CONST_S 0\n  0004 EQ\n  0005 TJUMP_FW_S 1 -> 0007\n"
         "  0006 JUMP_FW_S 4 -> 0011\n  0007 DECR_VAR 0\n  0009 JUMP_BW_S 9 -> 0000\n"
         "  0010 JUMP_BW_S 10 -> 0000\n  0011 RETURN_ES\n"},
        {"for with var: the step runs after the body, continue goes to the step",
         "function f() { for (var i = 0; i < 3; i++) { if (i) continue; } for (;;) break; }",
         "  0000 CONST_0\n  0001 STORE_VAR_S 0\n  0002 LOAD_VAR_S 0\n  0003 LOAD_CONST_S 0\n"
         "  0004 LT\n  0005 TJUMP_FW_S 5 -> 0011\n  0006 LOAD_VAR_S 0\n"
         "  0007 TJUMP_FW_S 1 -> 0009\n  0008 JUMP_FW_S 0 -> 0009\n  0009 INCR_VAR_S 0\n"
         "  0010 JUMP_BW_S 8 -> 0002\n  0011 JUMP_FW_S 1 -> 0013\n  0012 JUMP_BW_S 1 -> 0011\n"
         "  0013 RETURN_ES\n"},
        {"calls: local, standard library (short and byte forms) and through use url",
         "use url Other \"http://wap.example/other.wmls\";\n"
         "extern function f(a) { return g(a) + Lang.abs(a) + String.format('%d', a) + "
         "Other#h(a, 1); }\nfunction g(x) { return x; }",
         "  #1 utf8 \"http://wap.example/other.wmls\"\n  #2 utf8 \"h\"\n杂注 0 个\n函数 2 个\n"
         "函数 0 extern f（参数 1，局部变量 0）\n"
         "  0000 LOAD_VAR_S 0\n  0001 CALL_S 1\n  0002 LOAD_VAR_S 0\n"
         "  0003 CALL_LIB_S 0 0 ; Lang.abs\n  0005 ADD\n  0006 LOAD_CONST_S 0\n"
         "  0007 LOAD_VAR_S 0\n  0008 CALL_LIB 15 2 ; String.format\n  0011 ADD\n"
         "  0012 LOAD_VAR_S 0\n  0013 CONST_1\n  0014 CALL_URL 1 2 2\n  0018 ADD\n"
         "  0019 RETURN\n"},
        {"pragmas: access and the user agent properties travel in the unit, the rest does not",
         "use access domain \"wap.example\" path \"/shop\";\n"
         "use meta name \"author\" \"me\";\nuse meta http equiv \"Cache-Control\" \"no-cache\";\n"
         "use meta user agent \"a\" \"b\";\nuse meta user agent \"a\" \"c\" \"s\";\n"
         "function f() {}",
         "常量 6 个\n  #0 utf8 \"wap.example\"\n  #1 utf8 \"/shop\"\n  #2 utf8 \"a\"\n"
         "  #3 utf8 \"b\"\n  #4 utf8 \"c\"\n  #5 utf8 \"s\"\n杂注 4 个\n  access domain #0\n"
         "  access path #1\n  user agent property #2 #3\n"
         "  user agent property and scheme #2 #4 #5\n"},
        {"an increment whose value is dropped on one branch keeps both branches alike",
         "function f(c, x, y) { c ? x++ : y++; c ? x = 1 : (y = 2); }",
         "  0000 LOAD_VAR_S 0\n  0001 TJUMP_FW_S 3 -> 0005\n  0002 LOAD_VAR_S 1\n"
         "  0003 INCR_VAR_S 1\n  0004 JUMP_FW_S 2 -> 0007\n  0005 LOAD_VAR_S 2\n"
         "  0006 INCR_VAR_S 2\n  0007 POP\n  0008 LOAD_VAR_S 0\n  0009 TJUMP_FW_S 4 -> 0014\n"
         "  0010 CONST_1\n  0011 STORE_VAR_S 1\n  0012 LOAD_VAR_S 1\n  0013 JUMP_FW_S 3 -> 0017\n"
         "  0014 LOAD_CONST_S 0\n  0015 STORE_VAR_S 2\n  0016 LOAD_VAR_S 2\n  0017 POP\n"
         "  0018 RETURN_ES\n"},
        {"a for step with jumps of its own, moved after the body",
         "function f(i) { for (i = 0; i < 3; i = i ? i + 1 : 1) { if (i && 2) continue; } }",
         "  0000 CONST_0\n  0001 STORE_VAR_S 0\n  0002 LOAD_VAR_S 0\n  0003 LOAD_CONST_S 0\n"
         "  0004 LT\n  0005 TJUMP_FW_S 16 -> 0022\n  0006 LOAD_VAR_S 0\n  0007 SCAND\n"
         "  0008 TJUMP_FW_S 2 -> 0011\n  0009 LOAD_CONST_S 1\n  0010 TOBOOL\n"
         "  0011 TJUMP_FW_S 1 -> 0013\n  0012 JUMP_FW_S 0 -> 0013\n  0013 LOAD_VAR_S 0\n"
         "  0014 TJUMP_FW_S 4 -> 0019\n  0015 LOAD_VAR_S 0\n  0016 CONST_1\n  0017 ADD\n"
         "  0018 JUMP_FW_S 1 -> 0020\n  0019 CONST_1\n  0020 STORE_VAR_S 0\n"
         "  0021 JUMP_BW_S 19 -> 0002\n  0022 RETURN_ES\n"},
        {"a long chain of && stays shallow",
         "function f(a) { return a" + Repeat(" && a", 1100) + "; }",
         "  0000 LOAD_VAR_S 0\n  0001 SCAND\n  0002 TJUMP_FW_S 2 -> 0005\n"},
        {"variables past the short forms' reach",
         "function f() { var " + Numbered("v", 40) +
             "; v15 = 0; v16 = 0; v7++; v8++; return v31 + v32; }",
         "  0000 CONST_0\n  0001 STORE_VAR_S 15\n  0002 CONST_0\n  0003 STORE_VAR 16\n"
         "  0005 INCR_VAR_S 7\n  0006 INCR_VAR 8\n  0008 LOAD_VAR_S 31\n  0009 LOAD_VAR 32\n"},
        {"constants past the short and byte forms' reach",
         "function f() { return " + Numbered("'c", 300, "' + ") + "'; }",
         "  0029 LOAD_CONST_S 15\n  0030 ADD\n  0031 LOAD_CONST 16\n  0033 ADD\n"},
        {"the 256th constant takes LOAD_CONST_W",
         "function f() { return " + Numbered("'c", 300, "' + ") + "'; }",
         "  0748 LOAD_CONST 255\n  0750 ADD\n  0751 LOAD_CONST_W 256\n  0754 ADD\n"},
        {"local calls past CALL_S",
         "function f() { f6(); f7(); }\n" + Numbered("function f", 9, "() {}\n") + "() {}",
         "  0000 CALL_S 7\n  0001 POP\n  0002 CALL 8\n  0004 POP\n"},
        {"an external call past the byte form's reach",
         "use url O \"o\";\nfunction f() { return " + Numbered("'c", 300, "' + ") + "' + O#g(); }",
         "  0927 CALL_URL_W 300 301 0\n"},
        {"an else of 400 bytes is jumped over with a wide jump",
         "function f(a, b) { if (a) {} else {" + Repeat("a = b; ", 200) + "} }",
         "  0002 JUMP_FW_W 400 -> 0405\n"},
        {"a forward jump of 30 bytes is short",
         "function f(a, b) { if (a) {" + Repeat("a = b; ", 15) + "} }",
         "  0001 TJUMP_FW_S 30 -> 0032\n"},
        {"a forward jump of 32 bytes takes a byte", "function f(a, b) { if (a) {" + body16 + "} }",
         "  0001 TJUMP_FW 32 -> 0035\n"},
        {"a forward jump of 400 bytes is wide",
         "function f(a, b) { if (a) {" + Repeat("a = b; ", 200) + "} }",
         "  0001 TJUMP_FW_W 400 -> 0404\n"},
        {"a backward jump of 30 bytes is short",
         "function f(a, b) { while (a) {" + Repeat("a = b; ", 14) + "} }",
         "  0030 JUMP_BW_S 30 -> 0000\n"},
        {"a backward jump of 33 bytes takes a byte",
         "function f(a, b) { while (a) {" + body16 + "} }", "  0035 JUMP_BW 35 -> 0000\n"},
        {"a backward jump of 404 bytes is wide",
         "function f(a, b) { while (a) {" + Repeat("a = b; ", 200) + "} }",
         "  0404 JUMP_BW_W 404 -> 0000\n"},
    };
    for (const ListingCase& c : cases) {
        SCOPED_TRACE(c.name);
        const CompileResult result = Compile(c.source);
        ASSERT_TRUE(result.ok) << result.line << ":" << result.column << " " << result.message;
        const VerifyResult verified = Verify(result.unit);
        EXPECT_TRUE(verified.ok) << verified.message;
        const std::string listing = Disassemble(result.unit);
        EXPECT_NE(listing.find(c.expected), std::string::npos) << listing;
    }
}

// The listing reads the unit back; this pins the bytes themselves: the
// header and its size, the pools, the name table and the opcodes.
TEST(WmlScriptCompiler, WritesTheStandardBinaryFormat) {
    const CompileResult result =
        Compile("use url O \"u\"; extern function f(a) { return O#g(a) && Lang.abs(-2); }");
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ(Hex(result.unit),
              "01 1f "                                 // version 1.1, 31 bytes follow
              "03 6a 04 01 75 04 01 67 00 fe "         // 3 constants in UTF-8: "u" "g" -2
              "00 "                                    // no pragmas
              "01 01 00 01 66 "                        // 1 function, named "f"
              "01 00 0c "                              // 1 argument, no locals, 12 bytes
              "e0 0c 00 01 01 34 c4 52 68 00 36 3a");  // the code
}

struct ErrorCase {
    std::string source;
    int line, column;  // 0: not checked
    std::string fragment;
};

// The first error, where it stands, and what it says.
TEST(WmlScriptCompiler, ReportsTheFirstErrorWhereItStands) {
    const std::vector<ErrorCase> cases = {
        {"function f() { var a = 1 }", 1, 26, "应为“;”"},
        {"function f() { return 1 +; }", 1, 26, "应为表达式"},
        {"function f() {\n  return \"abc;\n}", 2, 10, "字符串没有结束"},
        {"function f() { return '\\q'; }", 1, 24, "转义"},
        {"function f() { return '\\ud800'; }", 1, 24, "代理项"},
        {"function f() { /* never closed", 1, 16, "注释没有结束"},
        {"function f() { return 中; }", 1, 23, "无法识别的字符"},
        {"function f() { var s = \"中文\"; return s + 中; }", 1, 41, "无法识别的字符"},
        {"function f() { return 2147483648; }", 1, 23, "32 位"},
        {"function f() { return 0x80000000; }", 1, 23, "32 位"},
        {"function f() { return 09; }", 1, 23, "八进制"},
        {"function f() { return 1e39; }", 1, 23, "浮点数超出"},
        {"function f() { var class; }", 1, 20, "保留字"},
        {"function f() { var url; }", 1, 20, "应为名称"},
        {"function f() { Lang.nothing(1); }", 1, 21, "没有函数“nothing”"},
        {"function f() { Maths.abs(1); }", 1, 16, "没有名为“Maths”的库"},
        {"function f() {\n  Lang.abs();\n}", 2, 8, "需要 1 个参数，这里给了 0 个"},
        {"extern function f() { return g(1); }\nfunction g(a, b) {}", 1, 30, "需要 2 个参数"},
        {"function f() { return g(); }", 1, 23, "未定义"},
        {"function f() { x = 1; }", 1, 16, "变量“x”未声明"},
        {"function a() { b(); }\nfunction c() { {}\nfunction b() {}", 3, 1, "应为表达式"},
        {"function f() { if a) {} }", 1, 19, "应为“(”"},
        {"function f() { while (1 {} }", 1, 25, "应为“)”"},
        {"function f() { for (var i = 0, i < 1; ) {} }", 1, 32, "重复声明"},
        {"function f() {", 1, 15, "应为“}”"},
        {"extern var x;", 1, 8, "应为“function”"},
        {"use access;", 1, 11, "应为“domain”或“path”"},
        {"use meta author \"a\" \"b\";", 1, 10, "“name”、“http equiv”或“user agent”"},
        {"use meta http \"a\" \"b\";", 1, 15, "应为“equiv”"},
        {"use url \"x\";", 1, 9, "应为名称"},
        {"use agent;", 1, 5, "应为“url”、“access”或“meta”"},
        {"function f() {\r  x = 1;\r}", 2, 3, "变量“x”未声明"},
        {"function f() {\r\n  x = 1;\r\n}", 2, 3, "变量“x”未声明"},
        {"\xef\xbb\xbf"
         "function f() { x = 1; }",
         1, 16, "变量“x”未声明"},
        {"function f(a) { var b, a; }", 1, 24, "重复声明"},
        {"function f() {}\nfunction f() {}", 2, 10, "重复定义"},
        {"function f() { break; }", 1, 16, "break 只能用在循环中"},
        {"function f() { while (1) {} continue; }", 1, 29, "continue 只能用在循环中"},
        {"function f() { Other#g(); }", 1, 16, "没有用 use url 声明"},
        {"use url A \"a\";\nuse url A \"b\";", 2, 9, "已用 use url 声明过"},
        {"use access domain \"a\";\nuse access path \"b\";", 2, 5, "只能有一条 use access"},
        {"function f() {}\nuse url A \"a\";", 2, 1, "必须写在所有函数之前"},
        {"function f() { var " + Numbered("v", 256) + "; }", 1, 0, "变量太多"},
        {Numbered("function f", 256, "() {}\n") + "() {}", 256, 10, "函数太多"},
        {"function f() { return " + Repeat("(", 300) + "1" + Repeat(")", 300) + "; }", 1, 0,
         "嵌套太深"},
        {"function f() " + Repeat("{", 300) + Repeat("}", 300), 1, 0, "嵌套太深"},
        {"function f() { return " + Numbered("'c", 65536, "' + ") + "'; }", 1, 0, "常量太多"},
        {"function f() { return '" + std::string(100000, 'a') + "' + '" + std::string(100000, 'b') +
             "' + '" + std::string(100000, 'c') + "'; }",
         1, 0, "编译结果太大"},
        {"use url O \"o\";\nfunction f() { return " + Repeat("O#f(" + Repeat("1, ", 254), 5) + "1" +
             Repeat(")", 5) + "; }",
         2, 0, "表达式太复杂"},
        {"function f(a, b) { while (a) {" + Repeat("a = b; ", 33000) + "} }", 1, 10,
         "跳转超出范围"},
        {std::string(1024 * 1024 + 1, ' '), 1, 1, "脚本太大"},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.source.substr(0, 80));
        const CompileResult result = Compile(c.source);
        ASSERT_FALSE(result.ok);
        EXPECT_TRUE(result.unit.empty());
        if (c.line) {
            EXPECT_EQ(result.line, c.line);
        }
        if (c.column) {
            EXPECT_EQ(result.column, c.column);
        }
        EXPECT_NE(result.message.find(c.fragment), std::string::npos) << result.message;
    }
}

// The fuzz targets' seed scripts, realistic units: what compiles verifies.
TEST(WmlScriptCompiler, CompiledSeedScriptsPassTheVerifier) {
    int compiled = 0;
    for (const auto& entry : std::filesystem::directory_iterator(TESSALY_WMLSCRIPT_SEEDS)) {
        SCOPED_TRACE(entry.path().string());
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string source{std::istreambuf_iterator<char>(in),
                                 std::istreambuf_iterator<char>()};
        const CompileResult result = Compile(source);
        if (result.ok) {
            ++compiled;
            const VerifyResult verified = Verify(result.unit);
            EXPECT_TRUE(verified.ok) << verified.message;
        }
    }
    EXPECT_GE(compiled, 2);
}

TEST(WmlScriptCompiler, SummarizesAccessUrlsAndExterns) {
    const CompileResult result = Compile(
        "use url Other \"http://o.example/x.wmls\";\nuse url Same \"http://o.example/x.wmls\";\n"
        "use url Unused \"http://o.example/unused.wmls\";\nuse access path \"/p\";\n"
        "extern function f() { Other#a(); Same#b(); }\nfunction g() {}\n"
        "extern function h() { Lang.exit(1); }");
    ASSERT_TRUE(result.ok) << result.message;
    const UnitSummary summary = Summarize(result.unit);
    EXPECT_FALSE(summary.accessDomain);
    EXPECT_EQ(summary.accessPath, "/p");
    EXPECT_EQ(summary.urls, std::vector<std::string>{"http://o.example/x.wmls"});
    EXPECT_EQ(summary.externs, (std::vector<std::string>{"f", "h"}));
}

// A unit as another compiler might write it, built from its parts so that a
// test can change one of them: a Latin-1 constant pool with a type 6 string
// and every number type, an access and a user agent pragma, two named
// functions, and code that uses a short-circuit, calls of all three kinds and
// a backward jump.
struct SampleUnit {
    std::string version = "\x01";
    std::string constants = std::string("\x07\x04", 2) +  // 7 constants, ISO-8859-1
                            std::string(
                                "\x04\x01"
                                "f",
                                3) +
                            std::string(
                                "\x06\x05"
                                "x\xe9.ws",
                                7) +
                            std::string("\x00\x07", 2) + std::string("\x01\x01\x2c", 3) +
                            std::string("\x02\x00\x01\x11\x70", 5) +
                            std::string("\x03\x3f\xc0\x00\x00", 5) + std::string("\x05", 1);
    std::string pragmas = std::string("\x02\x00\x00\x02\x00\x06", 6);
    std::string functionTable = std::string(
        "\x02\x02\x00\x01"
        "f\x01\x01"
        "g",
        8);
    std::string head0 = std::string("\x01\x01", 2);  // 1 argument, 1 local
    std::string code0 = std::string(
        "\xe0"              // 0  LOAD_VAR_S 0
        "\x41"              // 1  STORE_VAR_S 1
        "\xe1"              // 2  LOAD_VAR_S 1
        "\x34"              // 3  SCAND
        "\xc2"              // 4  TJUMP_FW_S -> 7
        "\x19"              // 5  CONST_TRUE
        "\x36"              // 6  TOBOOL
        "\xc3"              // 7  TJUMP_FW_S -> 11
        "\x52"              // 8  LOAD_CONST_S 2
        "\x61"              // 9  CALL_S 1
        "\x3a"              // 10 RETURN
        "\x14"              // 11 CONST_0
        "\x0c\x01\x00\x01"  // 12 CALL_URL url #1, name #0, 1 argument
        "\x68\x00"          // 16 CALL_LIB_S Lang.abs
        "\x37"              // 18 POP
        "\xb1",             // 19 JUMP_BW_S -> 2
        20);
    std::string head1 = std::string("\x01\x00", 2);
    std::string code1 = "\xe0\x3a";  // LOAD_VAR_S 0, RETURN
    int sizeChange0 = 0, codeSizeChange = 0;
    std::string trailing;

    static std::string MultiByte(std::uint32_t value) {
        std::string out(1, static_cast<char>(value & 0x7f));
        while (value >>= 7) {
            out.insert(out.begin(), static_cast<char>(0x80 | (value & 0x7f)));
        }
        return out;
    }
    std::string Build() const {
        const std::string body =
            constants + pragmas + functionTable + head0 +
            MultiByte(static_cast<std::uint32_t>(static_cast<int>(code0.size()) + sizeChange0)) +
            code0 + head1 + MultiByte(static_cast<std::uint32_t>(code1.size())) + code1 + trailing;
        return version +
               MultiByte(
                   static_cast<std::uint32_t>(static_cast<int>(body.size()) + codeSizeChange)) +
               body;
    }
};

TEST(WmlScriptVerifier, AcceptsUnitsFromOtherCompilers) {
    const std::string unit = SampleUnit().Build();
    const VerifyResult result = Verify(unit);
    ASSERT_TRUE(result.ok) << result.message;
    const std::string listing = Disassemble(unit);
    EXPECT_NE(listing.find("  #1 string \"xé.ws\"\n  #2 int8 7\n  #3 int16 300\n"
                           "  #4 int32 70000\n  #5 float32 1.5\n  #6 empty\n"),
              std::string::npos)
        << listing;
    const UnitSummary summary = Summarize(unit);
    EXPECT_EQ(summary.accessDomain, "f");
    EXPECT_EQ(summary.urls, std::vector<std::string>{"x\xc3\xa9.ws"});
    EXPECT_EQ(summary.externs, (std::vector<std::string>{"f", "g"}));

    SampleUnit shiftJis;  // a character set the listing cannot show: bytes past ASCII escaped
    shiftJis.constants[1] = '\x11';
    ASSERT_TRUE(Verify(shiftJis.Build()).ok);
    EXPECT_NE(Disassemble(shiftJis.Build()).find("  #1 string \"x\\xe9.ws\"\n"), std::string::npos);

    SampleUnit version12;
    version12.version = "\x02";
    EXPECT_TRUE(Verify(version12.Build()).ok);
    SampleUnit deepest;  // exactly as deep as the machine's stack allows
    deepest.code1 = std::string(1024, '\x14') + "\x3a";
    EXPECT_TRUE(Verify(deepest.Build()).ok);
}

// The forms the compiler never writes, as other compilers may: backward
// conditional jumps, a wide forward jump, CALL_LIB_W, CALL_URL_W, DEBUG.
TEST(WmlScriptVerifier, ReadsEveryInstructionForm) {
    SampleUnit unit;
    unit.code1 = std::string(
        "\x19"                      // 0  CONST_TRUE
        "\x07\x01"                  // 1  TJUMP_BW -> 0
        "\x3c"                      // 3  DEBUG
        "\xe0"                      // 4  LOAD_VAR_S 0
        "\x0b\x00\x00\x00"          // 5  CALL_LIB_W Lang.abs
        "\x08\x00\x09"              // 9  TJUMP_BW_W -> 0
        "\x14"                      // 12 CONST_0
        "\x0d\x00\x01\x00\x00\x01"  // 13 CALL_URL_W url #1, name #0, 1 argument
        "\x02\x00\x00"              // 19 JUMP_FW_W -> 22
        "\x3a",                     // 22 RETURN
        23);
    const std::string bytes = unit.Build();
    const VerifyResult result = Verify(bytes);
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_NE(Disassemble(bytes).find("  0000 CONST_TRUE\n  0001 TJUMP_BW 1 -> 0000\n"
                                      "  0003 DEBUG\n  0004 LOAD_VAR_S 0\n"
                                      "  0005 CALL_LIB_W 0 0 ; Lang.abs\n"
                                      "  0009 TJUMP_BW_W 9 -> 0000\n  0012 CONST_0\n"
                                      "  0013 CALL_URL_W 1 0 1\n  0019 JUMP_FW_W 0 -> 0022\n"
                                      "  0022 RETURN\n"),
              std::string::npos)
        << Disassemble(bytes);
}

struct MalformedCase {
    std::string name;
    std::string fragment;  // of the refusal, to tell it was refused for this
    std::function<void(SampleUnit&)> change;
};

// Each unit differs from the sample by about one byte; the verifier refuses
// every one, for the reason the case is about.
TEST(WmlScriptVerifier, RefusesMalformedUnits) {
    const std::vector<MalformedCase> cases = {
        {"version 1.3", "版本 1.3", [](SampleUnit& u) { u.version = "\x03"; }},
        {"version 2.1", "版本 2.1", [](SampleUnit& u) { u.version = "\x11"; }},
        {"code size too large", "长度与实际长度不符", [](SampleUnit& u) { u.codeSizeChange = 1; }},
        {"code size too small", "长度与实际长度不符", [](SampleUnit& u) { u.codeSizeChange = -1; }},
        {"trailing bytes", "多余的字节", [](SampleUnit& u) { u.trailing = std::string(1, '\0'); }},
        {"a function size past the end", "函数 1 的头部残缺",
         [](SampleUnit& u) { u.sizeChange0 = 5; }},
        {"a function size short of its code", "多余的字节",
         [](SampleUnit& u) { u.sizeChange0 = -1; }},
        {"an mb_u_int of six bytes", "常量池的头部残缺",
         [](SampleUnit& u) { u.constants.replace(0, 1, "\x80\x80\x80\x80\x80\x07"); }},
        {"more constants than there are", "杂注", [](SampleUnit& u) { u.constants[0] = '\x09'; }},
        {"a reserved constant type", "常量 2 的类型未知",
         [](SampleUnit& u) { u.constants[12] = '\x07'; }},
        {"a string running past the end", "超出单元末尾",
         [](SampleUnit& u) { u.constants[6] = '\x7f'; }},
        {"a UTF-8 constant that is not UTF-8", "不是有效的 UTF-8",
         [](SampleUnit& u) { u.constants[4] = '\xff'; }},
        {"a reserved pragma type", "杂注 0 的类型未知",
         [](SampleUnit& u) { u.pragmas[1] = '\x04'; }},
        {"a pragma naming a number", "杂注 0 指向的不是字符串常量",
         [](SampleUnit& u) { u.pragmas[2] = '\x02'; }},
        {"a pragma naming no constant", "杂注 1 指向的不是字符串常量",
         [](SampleUnit& u) { u.pragmas[5] = '\x07'; }},
        {"more names than functions", "函数名比函数多",
         [](SampleUnit& u) { u.functionTable[1] = '\x03'; }},
        {"a name for no function", "指向不存在的函数",
         [](SampleUnit& u) { u.functionTable[2] = '\x02'; }},
        {"a name that is no identifier", "无效的名称",
         [](SampleUnit& u) { u.functionTable[7] = '1'; }},
        {"an empty name", "无效的名称",
         [](SampleUnit& u) { u.functionTable.replace(5, 3, "\x01\x00", 2); }},
        {"a name twice", "重复的名称", [](SampleUnit& u) { u.functionTable[7] = 'f'; }},
        {"a function named twice", "同一函数出现两次",
         [](SampleUnit& u) { u.functionTable[5] = '\x00'; }},
        {"256 arguments and locals", "超过 255 个", [](SampleUnit& u) { u.head0[1] = '\xff'; }},
        {"a variable past the function's", "变量序号超出范围",
         [](SampleUnit& u) { u.code0[2] = '\xe2'; }},
        {"reserved opcode 0x00", "未知的指令", [](SampleUnit& u) { u.code0[18] = '\x00'; }},
        {"reserved opcode 0x3D", "未知的指令", [](SampleUnit& u) { u.code0[18] = '\x3d'; }},
        {"reserved opcode 0x78", "未知的指令", [](SampleUnit& u) { u.code0[18] = '\x78'; }},
        {"an instruction cut off by the end", "残缺的指令",
         [](SampleUnit& u) { u.code1[1] = '\x0e'; }},
        {"a function without code", "没有代码", [](SampleUnit& u) { u.code1.clear(); }},
        {"a constant past the pool", "常量序号超出范围",
         [](SampleUnit& u) { u.code0[8] = '\x57'; }},
        {"a call of no function", "调用的函数不存在", [](SampleUnit& u) { u.code0[9] = '\x62'; }},
        {"a call of no library", "库函数不存在", [](SampleUnit& u) { u.code0[17] = '\x06'; }},
        {"a call of no library function", "库函数不存在",
         [](SampleUnit& u) {
             u.code0[16] = '\x6b';  // Dialogs has functions 0..2
             u.code0[17] = '\x05';
         }},
        {"a library call short of arguments", "（偏移 16）：操作数栈下溢",
         [](SampleUnit& u) { u.code0[17] = '\x05'; }},
        {"a url that is a number", "地址不是字符串常量",
         [](SampleUnit& u) { u.code0[13] = '\x02'; }},
        {"a url past the pool", "常量序号超出范围", [](SampleUnit& u) { u.code0[13] = '\x09'; }},
        {"a function name that is no identifier", "函数名不是有效的名称",
         [](SampleUnit& u) { u.code0[14] = '\x01'; }},
        {"an external call short of arguments", "（偏移 12）：操作数栈下溢",
         [](SampleUnit& u) { u.code0[15] = '\x03'; }},
        {"a jump past the end", "跳转目标不在", [](SampleUnit& u) { u.code0[7] = '\xdf'; }},
        {"a jump into an instruction", "跳转目标不在", [](SampleUnit& u) { u.code0[7] = '\xc5'; }},
        {"a jump between SCAND and its jump", "SCAND/SCOR 与其条件跳转之间",
         [](SampleUnit& u) { u.code0[19] = '\xaf'; }},
        {"SCAND without its conditional jump", "之后不是条件跳转",
         [](SampleUnit& u) { u.code0[4] = '\x19'; }},
        {"a stack underflow", "（偏移 1）：操作数栈下溢",
         [](SampleUnit& u) { u.code0[0] = '\x3c'; }},
        {"depths that differ where paths meet", "栈深度不同",
         [](SampleUnit& u) { u.code0[6] = '\x37'; }},
        {"code running off the end", "末尾而没有返回", [](SampleUnit& u) { u.code0[19] = '\x3c'; }},
        {"a stack deeper than 1024", "超过 1024 项",
         [](SampleUnit& u) { u.code1 = std::string(1025, '\x14') + "\x3a"; }},
        {"a unit over 256 KB", "单元太大",
         [](SampleUnit& u) { u.trailing = std::string(256 * 1024, '\0'); }},
    };
    for (const MalformedCase& c : cases) {
        SCOPED_TRACE(c.name);
        SampleUnit unit;
        c.change(unit);
        const VerifyResult result = Verify(unit.Build());
        EXPECT_FALSE(result.ok);
        EXPECT_NE(result.message.find(c.fragment), std::string::npos) << result.message;
    }
}

}  // namespace

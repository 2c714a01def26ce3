#pragma once

// WMLScript for the program: a compiler from WMLScript 1.1/1.2 source
// (text/vnd.wap.wmlscript) to the standard binary format
// (application/vnd.wap.wmlscriptc), and a verifier that every unit passes
// before the page's bytecode machine may run it. Plain C++, no Qt; callable
// from any thread.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly::wap::wmlscript {

struct CompileResult {
    bool ok = false;
    std::string unit;          // the compiled unit, when ok
    int line = 0, column = 0;  // where the first error is (1-based, in characters), when not ok
    std::string message;       // the error, in Chinese (UTF-8), when not ok
};
// source: the script's text in UTF-8 (the caller decodes it from its charset first).
CompileResult Compile(std::string_view source);

struct VerifyResult {
    bool ok = false;
    std::string message;  // what is wrong, in Chinese, when not ok
};
VerifyResult Verify(std::string_view unit);

// A readable listing of a unit (constants, pragmas, functions, instructions),
// for tests and for the page-source window. Only for units that Verify accepts.
std::string Disassemble(std::string_view unit);

// The access pragma and the `use url` addresses of a verified unit (what the
// program needs to fetch the units a unit calls, and to check access).
struct UnitSummary {
    std::optional<std::string> accessDomain, accessPath;  // as written; empty optional when absent
    std::vector<std::string> urls;     // every address a CALL_URL names, as written
    std::vector<std::string> externs;  // names of the functions callable from outside
};
UnitSummary Summarize(std::string_view unit);  // only for verified units

}  // namespace tessaly::wap::wmlscript

// Listings and summaries of verified units.

#include <algorithm>
#include <cstdio>
#include <string>

#include "unit_reader.h"
#include "wmlscript.h"

namespace tessaly::wap::wmlscript {
namespace {

// Control characters escaped, and every byte past ASCII when the text is in
// a character set the listing cannot show.
std::string Quoted(std::string_view text, bool escapeHighBytes = false) {
    std::string out = "\"";
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (b < 0x20 || b == 0x7f || (escapeHighBytes && b >= 0x80)) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", b);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// ISO-8859-1 strings are converted for the listing; UTF-8 ones are shown as
// they are.
bool IsShownAsUtf8(const ParsedUnit& unit) {
    return unit.charset == 4 || unit.charset == 106;
}

std::string ConstantListing(const ParsedUnit& unit, const UnitConstant& c) {
    char number[32];
    switch (c.type) {
        case ConstantType::Int8:
            return "int8 " + std::to_string(c.integer);
        case ConstantType::Int16:
            return "int16 " + std::to_string(c.integer);
        case ConstantType::Int32:
            return "int32 " + std::to_string(c.integer);
        case ConstantType::Float32:
            std::snprintf(number, sizeof number, "%.9g", static_cast<double>(c.real));
            return std::string("float32 ") + number;
        case ConstantType::Utf8String:
            return "utf8 " + Quoted(c.text);
        case ConstantType::EmptyString:
            return "empty";
        case ConstantType::CharsetString:
            return "string " + Quoted(ConstantText(unit, c), !IsShownAsUtf8(unit));
    }
    return "?";
}

std::string_view PragmaName(PragmaType type) {
    switch (type) {
        case PragmaType::AccessDomain:
            return "access domain";
        case PragmaType::AccessPath:
            return "access path";
        case PragmaType::UserAgentProperty:
            return "user agent property";
        case PragmaType::UserAgentPropertyScheme:
            return "user agent property and scheme";
    }
    return "?";
}

std::string Offset(long at) {
    char text[16];
    std::snprintf(text, sizeof text, "%04ld", at);
    return text;
}

}  // namespace

std::string Disassemble(std::string_view bytes) {
    ParsedUnit unit;
    std::string error;
    if (!ReadUnit(bytes, unit, error)) {
        return error + "\n";
    }
    std::string out = "版本 " + std::to_string(unit.major) + "." + std::to_string(unit.minor) +
                      "，字符集 " + std::to_string(unit.charset) + "\n";
    out += "常量 " + std::to_string(unit.constants.size()) + " 个\n";
    for (std::size_t i = 0; i < unit.constants.size(); ++i) {
        out += "  #" + std::to_string(i) + " " + ConstantListing(unit, unit.constants[i]) + "\n";
    }
    out += "杂注 " + std::to_string(unit.pragmas.size()) + " 个\n";
    for (const UnitPragma& p : unit.pragmas) {
        out += "  " + std::string(PragmaName(p.type));
        for (int index : p.constants) {
            out += " #" + std::to_string(index);
        }
        out += "\n";
    }
    out += "函数 " + std::to_string(unit.functions.size()) + " 个\n";
    for (std::size_t f = 0; f < unit.functions.size(); ++f) {
        const UnitFunction& function = unit.functions[f];
        out += "函数 " + std::to_string(f);
        for (const UnitFunctionName& name : unit.names) {
            if (name.function == static_cast<int>(f)) {
                out += " extern " + name.name;
            }
        }
        out += "（参数 " + std::to_string(function.arguments) + "，局部变量 " +
               std::to_string(function.locals) + "）\n";
        for (std::size_t at = 0; at < function.code.size();) {
            DecodedInstruction in;
            if (!DecodeInstruction(function.code, at, in)) {
                out += "  " + Offset(static_cast<long>(at)) + " ?\n";
                break;
            }
            out += "  " + Offset(static_cast<long>(at)) + " " + std::string(Mnemonic(in.op));
            for (int k = 0; k < in.operandCount; ++k) {
                out += " " + std::to_string(in.operands[k]);
            }
            if (in.isJump) {
                out += " -> " + Offset(in.target);
            } else if (in.op == op::CallLibS || in.op == op::CallLib || in.op == op::CallLibW) {
                if (const LibraryFunction* lib =
                        FindLibraryFunction(in.operands[1], in.operands[0])) {
                    out += " ; " + std::string(lib->library) + "." + std::string(lib->name);
                }
            }
            out += "\n";
            at += static_cast<std::size_t>(in.length);
        }
    }
    return out;
}

UnitSummary Summarize(std::string_view bytes) {
    UnitSummary summary;
    ParsedUnit unit;
    std::string error;
    if (!ReadUnit(bytes, unit, error)) {
        return summary;
    }
    auto text = [&](int index) { return ConstantText(unit, unit.constants[index]); };
    for (const UnitPragma& p : unit.pragmas) {
        if (p.type == PragmaType::AccessDomain) {
            summary.accessDomain = text(p.constants[0]);
        } else if (p.type == PragmaType::AccessPath) {
            summary.accessPath = text(p.constants[0]);
        }
    }
    for (const UnitFunction& function : unit.functions) {
        for (std::size_t at = 0; at < function.code.size();) {
            DecodedInstruction in;
            if (!DecodeInstruction(function.code, at, in)) {
                break;
            }
            if ((in.op == op::CallUrl || in.op == op::CallUrlW) &&
                in.operands[0] < static_cast<int>(unit.constants.size())) {
                std::string url = text(in.operands[0]);
                if (std::find(summary.urls.begin(), summary.urls.end(), url) ==
                    summary.urls.end()) {
                    summary.urls.push_back(std::move(url));
                }
            }
            at += static_cast<std::size_t>(in.length);
        }
    }
    for (const UnitFunctionName& name : unit.names) {
        summary.externs.push_back(name.name);
    }
    return summary;
}

}  // namespace tessaly::wap::wmlscript

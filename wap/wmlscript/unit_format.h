#pragma once

// The WMLScript binary format the WAP Forum published for phones' gateways
// and browsers: instruction encodings, constant and pragma types, the
// standard libraries' function table, and the bounds this program enforces.
// Shared by the compiler, the verifier and the disassembler so that the three
// never disagree on an encoding.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessaly::wap::wmlscript {

// Version byte: (major - 1) in the high nibble, minor in the low one.
constexpr std::uint8_t UnitVersion = 0x01;  // 1.1, what the compiler writes
constexpr int MaxMinorVersion = 2;          // 1.2 is read too
constexpr std::uint16_t Utf8Charset = 106;  // IANA MIBenum of UTF-8

// Bounds. Functions and variables are byte-indexed in the format; the others
// keep hostile input from exhausting memory, the stack or time.
constexpr std::size_t MaxSourceBytes = 1024 * 1024;
constexpr std::size_t MaxUnitBytes = 256 * 1024;
constexpr int MaxFunctions = 255;
constexpr int MaxVariables = 255;  // arguments plus locals of one function
constexpr int MaxConstants = 65535;
constexpr int MaxNesting = 200;      // statements and expressions inside each other
constexpr int MaxStackDepth = 1024;  // operand stack of one function call

enum class ConstantType : std::uint8_t {
    Int8 = 0,
    Int16 = 1,
    Int32 = 2,
    Float32 = 3,
    Utf8String = 4,
    EmptyString = 5,
    CharsetString = 6,  // in the character set the constant pool names
};

enum class PragmaType : std::uint8_t {
    AccessDomain = 0,
    AccessPath = 1,
    UserAgentProperty = 2,
    UserAgentPropertyScheme = 3,
};

// Opcodes. The short forms carry their operand in the opcode's low bits:
// 1XXPPPPP (5 bits), 010XPPPP (4 bits), 011XXPPP (3 bits); 00XXXXXX are the
// rest, with their operands in the bytes that follow.
namespace op {
constexpr std::uint8_t JumpFwS = 0x80;     // 100ooooo, forward 0..31
constexpr std::uint8_t JumpBwS = 0xA0;     // 101ooooo, backward 0..31
constexpr std::uint8_t TJumpFwS = 0xC0;    // 110ooooo, pop; forward when false
constexpr std::uint8_t LoadVarS = 0xE0;    // 111vvvvv
constexpr std::uint8_t StoreVarS = 0x40;   // 0100vvvv
constexpr std::uint8_t LoadConstS = 0x50;  // 0101cccc
constexpr std::uint8_t CallS = 0x60;       // 01100fff
constexpr std::uint8_t CallLibS = 0x68;    // 01101fff, then u8 library
constexpr std::uint8_t IncrVarS = 0x70;    // 01110vvv (01111xxx is reserved)

constexpr std::uint8_t JumpFw = 0x01;   // u8 offset
constexpr std::uint8_t JumpFwW = 0x02;  // u16 offset
constexpr std::uint8_t JumpBw = 0x03;
constexpr std::uint8_t JumpBwW = 0x04;
constexpr std::uint8_t TJumpFw = 0x05;
constexpr std::uint8_t TJumpFwW = 0x06;
constexpr std::uint8_t TJumpBw = 0x07;
constexpr std::uint8_t TJumpBwW = 0x08;
constexpr std::uint8_t Call = 0x09;      // u8 function
constexpr std::uint8_t CallLib = 0x0A;   // u8 function, u8 library
constexpr std::uint8_t CallLibW = 0x0B;  // u8 function, u16 library
constexpr std::uint8_t CallUrl = 0x0C;   // u8 url const, u8 name const, u8 args
constexpr std::uint8_t CallUrlW = 0x0D;  // u16 url const, u16 name const, u8 args
constexpr std::uint8_t LoadVar = 0x0E;   // u8 variable
constexpr std::uint8_t StoreVar = 0x0F;
constexpr std::uint8_t IncrVar = 0x10;
constexpr std::uint8_t DecrVar = 0x11;
constexpr std::uint8_t LoadConst = 0x12;   // u8 constant
constexpr std::uint8_t LoadConstW = 0x13;  // u16 constant
constexpr std::uint8_t Const0 = 0x14;
constexpr std::uint8_t Const1 = 0x15;
constexpr std::uint8_t ConstM1 = 0x16;
constexpr std::uint8_t ConstEs = 0x17;
constexpr std::uint8_t ConstInvalid = 0x18;
constexpr std::uint8_t ConstTrue = 0x19;
constexpr std::uint8_t ConstFalse = 0x1A;
constexpr std::uint8_t Incr = 0x1B;
constexpr std::uint8_t Decr = 0x1C;
constexpr std::uint8_t AddAsg = 0x1D;  // u8 variable
constexpr std::uint8_t SubAsg = 0x1E;  // u8 variable
constexpr std::uint8_t Uminus = 0x1F;
constexpr std::uint8_t Add = 0x20;
constexpr std::uint8_t Sub = 0x21;
constexpr std::uint8_t Mul = 0x22;
constexpr std::uint8_t Div = 0x23;
constexpr std::uint8_t Idiv = 0x24;
constexpr std::uint8_t Rem = 0x25;
constexpr std::uint8_t BAnd = 0x26;
constexpr std::uint8_t BOr = 0x27;
constexpr std::uint8_t BXor = 0x28;
constexpr std::uint8_t BNot = 0x29;
constexpr std::uint8_t BLshift = 0x2A;
constexpr std::uint8_t BRsshift = 0x2B;
constexpr std::uint8_t BRszshift = 0x2C;
constexpr std::uint8_t Eq = 0x2D;
constexpr std::uint8_t Le = 0x2E;
constexpr std::uint8_t Lt = 0x2F;
constexpr std::uint8_t Ge = 0x30;
constexpr std::uint8_t Gt = 0x31;
constexpr std::uint8_t Ne = 0x32;
constexpr std::uint8_t Not = 0x33;
constexpr std::uint8_t ScAnd = 0x34;
constexpr std::uint8_t ScOr = 0x35;
constexpr std::uint8_t ToBool = 0x36;
constexpr std::uint8_t Pop = 0x37;
constexpr std::uint8_t TypeOf = 0x38;
constexpr std::uint8_t IsValid = 0x39;
constexpr std::uint8_t Return = 0x3A;
constexpr std::uint8_t ReturnEs = 0x3B;
constexpr std::uint8_t Debug = 0x3C;
}  // namespace op

// Length of the well-formed UTF-8 sequence at text[at] (shortest form, no
// surrogates, at most U+10FFFF), or 0.
inline std::size_t Utf8Length(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead < 0x80             ? 1
                               : (lead & 0xe0) == 0xc0 ? 2
                               : (lead & 0xf0) == 0xe0 ? 3
                               : (lead & 0xf8) == 0xf0 ? 4
                                                       : 0;
    if (length == 0 || at + length > text.size()) {
        return 0;
    }
    std::uint32_t code = length == 1 ? lead : lead & (0x7f >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xc0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (next & 0x3f);
    }
    constexpr std::uint32_t Least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < Least[length] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) {
        return 0;
    }
    return length;
}

// What an instruction takes from the operand stack and puts on it, for those
// whose use is the same in every unit: not calls (their function decides)
// nor jumps (a conditional jump takes its condition).
struct StackUse {
    int pops = 0;
    int pushes = 0;
};
constexpr StackUse FixedStackUse(std::uint8_t code) {
    switch (code) {
        case op::LoadVarS:
        case op::LoadVar:
        case op::LoadConstS:
        case op::LoadConst:
        case op::LoadConstW:
        case op::Const0:
        case op::Const1:
        case op::ConstM1:
        case op::ConstEs:
        case op::ConstInvalid:
        case op::ConstTrue:
        case op::ConstFalse:
            return {0, 1};
        case op::StoreVarS:
        case op::StoreVar:
        case op::AddAsg:
        case op::SubAsg:
        case op::Pop:
        case op::Return:
            return {1, 0};
        case op::Incr:
        case op::Decr:
        case op::Uminus:
        case op::BNot:
        case op::Not:
        case op::ToBool:
        case op::TypeOf:
        case op::IsValid:
            return {1, 1};
        case op::Add:
        case op::Sub:
        case op::Mul:
        case op::Div:
        case op::Idiv:
        case op::Rem:
        case op::BAnd:
        case op::BOr:
        case op::BXor:
        case op::BLshift:
        case op::BRsshift:
        case op::BRszshift:
        case op::Eq:
        case op::Le:
        case op::Lt:
        case op::Ge:
        case op::Gt:
        case op::Ne:
            return {2, 1};
        default:  // INCR_VAR, DECR_VAR, DEBUG, RETURN_ES
            return {};
    }
}

// The operands that follow an instruction's first byte, by width in bytes,
// for the instructions whose operands are whole bytes: not the jumps (one
// offset of 1 or 2 bytes) nor the compact forms' operand packed in the first
// byte, though CALL_LIB_S's library index follows as a byte.
struct OperandWidths {
    int count = 0;
    std::array<int, 3> widths{};
    constexpr int Bytes() const { return widths[0] + widths[1] + widths[2]; }
};
constexpr OperandWidths OperandWidthsOf(std::uint8_t code) {
    switch (code) {
        case op::CallLibS:
        case op::Call:
        case op::LoadVar:
        case op::StoreVar:
        case op::IncrVar:
        case op::DecrVar:
        case op::LoadConst:
        case op::AddAsg:
        case op::SubAsg:
            return {1, {1, 0, 0}};
        case op::LoadConstW:
            return {1, {2, 0, 0}};
        case op::CallLib:
            return {2, {1, 1, 0}};
        case op::CallLibW:
            return {2, {1, 2, 0}};
        case op::CallUrl:
            return {3, {1, 1, 1}};
        case op::CallUrlW:
            return {3, {2, 2, 1}};
        default:
            return {};
    }
}

// Jump offsets: a forward jump counts from the end of the jump instruction,
// a backward jump from its first byte.
inline long JumpTarget(long start, long end, long offset, bool forward) {
    return forward ? end + offset : start - offset;
}

// One standard library function: its library and function index as the
// CALL_LIB instructions name them, and how many arguments it takes.
struct LibraryFunction {
    std::string_view library;
    std::string_view name;
    int libraryIndex;
    int functionIndex;
    int arguments;
};

// The six standard libraries, with the indexes the WAP Forum gave them.
inline constexpr std::array<LibraryFunction, 63> LibraryFunctions = {{
    {"Lang", "abs", 0, 0, 1},
    {"Lang", "min", 0, 1, 2},
    {"Lang", "max", 0, 2, 2},
    {"Lang", "parseInt", 0, 3, 1},
    {"Lang", "parseFloat", 0, 4, 1},
    {"Lang", "isInt", 0, 5, 1},
    {"Lang", "isFloat", 0, 6, 1},
    {"Lang", "maxInt", 0, 7, 0},
    {"Lang", "minInt", 0, 8, 0},
    {"Lang", "float", 0, 9, 0},
    {"Lang", "exit", 0, 10, 1},
    {"Lang", "abort", 0, 11, 1},
    {"Lang", "random", 0, 12, 1},
    {"Lang", "seed", 0, 13, 1},
    {"Lang", "characterSet", 0, 14, 0},
    {"Float", "int", 1, 0, 1},
    {"Float", "floor", 1, 1, 1},
    {"Float", "ceil", 1, 2, 1},
    {"Float", "pow", 1, 3, 2},
    {"Float", "round", 1, 4, 1},
    {"Float", "sqrt", 1, 5, 1},
    {"Float", "maxFloat", 1, 6, 0},
    {"Float", "minFloat", 1, 7, 0},
    {"String", "length", 2, 0, 1},
    {"String", "isEmpty", 2, 1, 1},
    {"String", "charAt", 2, 2, 2},
    {"String", "subString", 2, 3, 3},
    {"String", "find", 2, 4, 2},
    {"String", "replace", 2, 5, 3},
    {"String", "elements", 2, 6, 2},
    {"String", "elementAt", 2, 7, 3},
    {"String", "removeAt", 2, 8, 3},
    {"String", "replaceAt", 2, 9, 4},
    {"String", "insertAt", 2, 10, 4},
    {"String", "squeeze", 2, 11, 1},
    {"String", "trim", 2, 12, 1},
    {"String", "compare", 2, 13, 2},
    {"String", "toString", 2, 14, 1},
    {"String", "format", 2, 15, 2},
    {"URL", "isValid", 3, 0, 1},
    {"URL", "getScheme", 3, 1, 1},
    {"URL", "getHost", 3, 2, 1},
    {"URL", "getPort", 3, 3, 1},
    {"URL", "getPath", 3, 4, 1},
    {"URL", "getParameters", 3, 5, 1},
    {"URL", "getQuery", 3, 6, 1},
    {"URL", "getFragment", 3, 7, 1},
    {"URL", "getBase", 3, 8, 0},
    {"URL", "getReferer", 3, 9, 0},
    {"URL", "resolve", 3, 10, 2},
    {"URL", "escapeString", 3, 11, 1},
    {"URL", "unescapeString", 3, 12, 1},
    {"URL", "loadString", 3, 13, 2},
    {"WMLBrowser", "getVar", 4, 0, 1},
    {"WMLBrowser", "setVar", 4, 1, 2},
    {"WMLBrowser", "go", 4, 2, 1},
    {"WMLBrowser", "prev", 4, 3, 0},
    {"WMLBrowser", "newContext", 4, 4, 0},
    {"WMLBrowser", "getCurrentCard", 4, 5, 0},
    {"WMLBrowser", "refresh", 4, 6, 0},
    {"Dialogs", "prompt", 5, 0, 2},
    {"Dialogs", "confirm", 5, 1, 3},
    {"Dialogs", "alert", 5, 2, 1},
}};

inline const LibraryFunction* FindLibraryFunction(int library, int function) {
    for (const auto& f : LibraryFunctions) {
        if (f.libraryIndex == library && f.functionIndex == function) {
            return &f;
        }
    }
    return nullptr;
}

inline const LibraryFunction* FindLibraryFunction(std::string_view library, std::string_view name) {
    for (const auto& f : LibraryFunctions) {
        if (f.library == library && f.name == name) {
            return &f;
        }
    }
    return nullptr;
}

inline bool IsLibraryName(std::string_view name) {
    return name == "Lang" || name == "Float" || name == "String" || name == "URL" ||
           name == "WMLBrowser" || name == "Dialogs";
}

// An identifier of the language: a letter or underscore, then letters,
// digits and underscores, ASCII only.
inline bool IsIdentifier(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
        if (!letter && !(i > 0 && c >= '0' && c <= '9')) {
            return false;
        }
    }
    return true;
}

// mb_u_int: seven bits a byte, most significant group first, the high bit set
// on every byte but the last.
inline void AppendMultiByte(std::string& out, std::uint32_t value) {
    char bytes[5];
    int count = 0;
    do {
        bytes[count++] = static_cast<char>(value & 0x7f);
        value >>= 7;
    } while (value != 0);
    for (int i = count - 1; i >= 0; --i) {
        out.push_back(static_cast<char>(bytes[i] | (i > 0 ? 0x80 : 0)));
    }
}

}  // namespace tessaly::wap::wmlscript

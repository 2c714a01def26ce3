#pragma once

// Reading a compiled unit: its pools, and its instructions one at a time.
// Every size and count is checked against the bytes there are, so any input
// can be read safely; what the code does is the verifier's to check.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "unit_format.h"

namespace tessaly::wap::wmlscript {

struct UnitConstant {
    ConstantType type = ConstantType::EmptyString;
    std::int32_t integer = 0;
    float real = 0;
    std::string text;  // the string's bytes as stored (types 4 and 6)

    bool IsString() const {
        return type == ConstantType::Utf8String || type == ConstantType::EmptyString ||
               type == ConstantType::CharsetString;
    }
};

struct UnitPragma {
    PragmaType type;
    std::vector<int> constants;
};

struct UnitFunctionName {
    int function;
    std::string name;
};

struct UnitFunction {
    int arguments = 0;
    int locals = 0;
    std::string_view code;
};

struct ParsedUnit {
    int major = 1, minor = 1;
    int charset = 0;
    std::vector<UnitConstant> constants;
    std::vector<UnitPragma> pragmas;
    std::vector<UnitFunctionName> names;
    std::vector<UnitFunction> functions;
};

// Reads the whole unit; false, with a Chinese message, when it is malformed.
bool ReadUnit(std::string_view unit, ParsedUnit& parsed, std::string& error);

// One decoded instruction. op is the opcode, or for a short form its base
// (op::LoadVarS for 0xE5); the operands in the order the format gives them.
struct DecodedInstruction {
    std::uint8_t op = 0;
    int length = 0;
    int operands[3] = {0, 0, 0};
    int operandCount = 0;
    bool isJump = false, forward = false;
    long target = 0;  // jumps: the code offset they go to (may be out of range)
};

// Decodes the instruction at code[at]; false for a reserved opcode or one cut
// off by the end of the code.
bool DecodeInstruction(std::string_view code, std::size_t at, DecodedInstruction& out);

// The instruction's name as the format writes it ("LOAD_VAR_S").
std::string_view Mnemonic(std::uint8_t op);

// A string constant as UTF-8 text: type 6 in ISO-8859-1 is converted, other
// character sets are passed through as they are.
std::string ConstantText(const ParsedUnit& unit, const UnitConstant& constant);

}  // namespace tessaly::wap::wmlscript

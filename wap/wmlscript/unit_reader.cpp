#include "unit_reader.h"

#include <cstring>

namespace tessaly::wap::wmlscript {
namespace {

constexpr int Latin1Charset = 4;

class Reader {
public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}

    std::size_t Left() const { return bytes_.size() - at_; }
    std::size_t At() const { return at_; }

    bool Byte(int& out) {
        if (at_ >= bytes_.size()) {
            return false;
        }
        out = static_cast<unsigned char>(bytes_[at_++]);
        return true;
    }
    bool Bytes(std::size_t count, std::string_view& out) {
        if (count > Left()) {
            return false;
        }
        out = bytes_.substr(at_, count);
        at_ += count;
        return true;
    }
    // mb_u_int of at most five bytes and at most `most`.
    bool MultiByte(std::uint32_t most, std::uint32_t& out) {
        std::uint64_t value = 0;
        for (int n = 0; n < 5; ++n) {
            int byte;
            if (!Byte(byte)) {
                return false;
            }
            value = (value << 7) | static_cast<std::uint64_t>(byte & 0x7f);
            if ((byte & 0x80) == 0) {
                if (value > most) {
                    return false;
                }
                out = static_cast<std::uint32_t>(value);
                return true;
            }
        }
        return false;
    }

private:
    std::string_view bytes_;
    std::size_t at_ = 0;
};

bool ValidUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = Utf8Length(text, at);
        if (length == 0) {
            return false;
        }
        at += length;
    }
    return true;
}

bool Fail(std::string& error, std::string message) {
    error = std::move(message);
    return false;
}

bool ReadConstants(Reader& in, ParsedUnit& unit, std::string& error) {
    std::uint32_t count, charset;
    if (!in.MultiByte(65535, count) || !in.MultiByte(65535, charset)) {
        return Fail(error, "常量池的头部残缺");
    }
    unit.charset = static_cast<int>(charset);
    if (count > in.Left()) {  // every constant takes at least its type byte
        return Fail(error, "常量个数超出单元长度");
    }
    unit.constants.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        int type;
        if (!in.Byte(type)) {
            return Fail(error, "常量池残缺");
        }
        UnitConstant c;
        c.type = static_cast<ConstantType>(type);
        std::string_view bytes;
        switch (type) {
            case 0:
            case 1:
            case 2: {
                const std::size_t size = type == 0 ? 1 : type == 1 ? 2 : 4;
                if (!in.Bytes(size, bytes)) {
                    return Fail(error, "整数常量残缺");
                }
                std::uint32_t value = 0;
                for (char b : bytes) {
                    value = (value << 8) | static_cast<unsigned char>(b);
                }
                if (size == 1) {
                    c.integer = static_cast<std::int8_t>(value);
                } else if (size == 2) {
                    c.integer = static_cast<std::int16_t>(value);
                } else {
                    c.integer = static_cast<std::int32_t>(value);
                }
                break;
            }
            case 3: {
                if (!in.Bytes(4, bytes)) {
                    return Fail(error, "浮点常量残缺");
                }
                std::uint32_t bits = 0;
                for (char b : bytes) {
                    bits = (bits << 8) | static_cast<unsigned char>(b);
                }
                std::memcpy(&c.real, &bits, sizeof bits);
                break;
            }
            case 4:
            case 6: {
                std::uint32_t size;
                if (!in.MultiByte(0xffffffffu, size) || !in.Bytes(size, bytes)) {
                    return Fail(error, "字符串常量 " + std::to_string(i) + " 超出单元末尾");
                }
                if (type == 4 && !ValidUtf8(bytes)) {
                    return Fail(error, "字符串常量 " + std::to_string(i) + " 不是有效的 UTF-8");
                }
                c.text = std::string(bytes);
                break;
            }
            case 5:
                break;
            default:
                return Fail(error, "常量 " + std::to_string(i) + " 的类型未知");
        }
        unit.constants.push_back(std::move(c));
    }
    return true;
}

bool ReadPragmas(Reader& in, ParsedUnit& unit, std::string& error) {
    std::uint32_t count;
    if (!in.MultiByte(65535, count)) {
        return Fail(error, "杂注池残缺");
    }
    if (count > in.Left()) {
        return Fail(error, "杂注个数超出单元长度");
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        int type;
        if (!in.Byte(type)) {
            return Fail(error, "杂注池残缺");
        }
        if (type > 3) {
            return Fail(error, "杂注 " + std::to_string(i) + " 的类型未知");
        }
        const int indexes = type <= 1 ? 1 : type == 2 ? 2 : 3;
        UnitPragma pragma{static_cast<PragmaType>(type), {}};
        for (int k = 0; k < indexes; ++k) {
            std::uint32_t index;
            if (!in.MultiByte(65535, index)) {
                return Fail(error, "杂注池残缺");
            }
            if (index >= unit.constants.size() || !unit.constants[index].IsString()) {
                return Fail(error, "杂注 " + std::to_string(i) + " 指向的不是字符串常量");
            }
            pragma.constants.push_back(static_cast<int>(index));
        }
        unit.pragmas.push_back(std::move(pragma));
    }
    return true;
}

bool ReadFunctions(Reader& in, ParsedUnit& unit, std::string& error) {
    int count, nameCount;
    if (!in.Byte(count) || !in.Byte(nameCount)) {
        return Fail(error, "函数池残缺");
    }
    if (nameCount > count) {
        return Fail(error, "函数名比函数多");
    }
    std::vector<bool> named(static_cast<std::size_t>(count), false);
    for (int i = 0; i < nameCount; ++i) {
        int index, size;
        std::string_view name;
        if (!in.Byte(index) || !in.Byte(size) || !in.Bytes(static_cast<std::size_t>(size), name)) {
            return Fail(error, "函数名表残缺");
        }
        if (index >= count) {
            return Fail(error, "函数名表指向不存在的函数");
        }
        if (!IsIdentifier(name)) {
            return Fail(error, "函数名表中有无效的名称");
        }
        if (named[index]) {
            return Fail(error, "函数名表中同一函数出现两次");
        }
        named[index] = true;
        for (const UnitFunctionName& other : unit.names) {
            if (other.name == name) {
                return Fail(error, "函数名表中有重复的名称“" + std::string(name) + "”");
            }
        }
        unit.names.push_back({index, std::string(name)});
    }
    for (int i = 0; i < count; ++i) {
        int arguments, locals;
        std::uint32_t size;
        std::string_view code;
        if (!in.Byte(arguments) || !in.Byte(locals) || !in.MultiByte(0xffffffffu, size)) {
            return Fail(error, "函数 " + std::to_string(i) + " 的头部残缺");
        }
        if (arguments + locals > MaxVariables) {
            return Fail(error, "函数 " + std::to_string(i) + " 的参数与局部变量超过 255 个");
        }
        if (!in.Bytes(size, code)) {
            return Fail(error, "函数 " + std::to_string(i) + " 的代码超出单元末尾");
        }
        unit.functions.push_back({arguments, locals, code});
    }
    return true;
}

}  // namespace

bool ReadUnit(std::string_view bytes, ParsedUnit& unit, std::string& error) {
    unit = ParsedUnit{};
    if (bytes.size() > MaxUnitBytes) {
        return Fail(error, "单元太大（超过 256 KB）");
    }
    Reader in(bytes);
    int version;
    if (!in.Byte(version)) {
        return Fail(error, "单元是空的");
    }
    unit.major = (version >> 4) + 1;
    unit.minor = version & 0x0f;
    if (unit.major != 1 || unit.minor > MaxMinorVersion) {
        return Fail(error, "不支持的字节码版本 " + std::to_string(unit.major) + "." +
                               std::to_string(unit.minor));
    }
    std::uint32_t codeSize;
    if (!in.MultiByte(0xffffffffu, codeSize)) {
        return Fail(error, "单元头部残缺");
    }
    if (codeSize != in.Left()) {
        return Fail(error, "单元头部写的长度与实际长度不符");
    }
    if (!ReadConstants(in, unit, error) || !ReadPragmas(in, unit, error) ||
        !ReadFunctions(in, unit, error)) {
        return false;
    }
    if (in.Left() != 0) {
        return Fail(error, "单元末尾有多余的字节");
    }
    return true;
}

bool DecodeInstruction(std::string_view code, std::size_t at, DecodedInstruction& out) {
    constexpr OperandWidths ByteOffset{1, {1, 0, 0}};
    constexpr OperandWidths WordOffset{1, {2, 0, 0}};
    out = DecodedInstruction{};
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(code[i]); };
    const std::uint8_t first = byte(at);
    const std::size_t left = code.size() - at - 1;
    auto operands = [&](const OperandWidths& widths) {
        const auto need = static_cast<std::size_t>(widths.Bytes());
        if (need > left) {
            return false;
        }
        std::size_t p = at + 1;
        for (int i = 0; i < widths.count; ++i) {
            const int w = widths.widths[static_cast<std::size_t>(i)];
            int v = byte(p++);
            if (w == 2) {
                v = (v << 8) | byte(p++);
            }
            out.operands[out.operandCount++] = v;
        }
        out.length = static_cast<int>(1 + need);
        return true;
    };
    auto jump = [&](bool forward) {
        out.isJump = true;
        out.forward = forward;
        out.target = JumpTarget(static_cast<long>(at), static_cast<long>(at) + out.length,
                                out.operands[0], forward);
        return true;
    };
    out.length = 1;
    if (first & 0x80) {
        out.op = first & 0xe0;
        out.operands[0] = first & 0x1f;
        out.operandCount = 1;
        if (out.op == op::JumpFwS || out.op == op::TJumpFwS) {
            return jump(true);
        }
        if (out.op == op::JumpBwS) {
            return jump(false);
        }
        return true;  // LOAD_VAR_S
    }
    if ((first & 0xe0) == 0x40) {
        out.op = first & 0xf0;
        out.operands[0] = first & 0x0f;
        out.operandCount = 1;
        return true;
    }
    if ((first & 0xe0) == 0x60) {
        out.op = first & 0xf8;
        if (out.op == 0x78) {
            return false;  // reserved
        }
        out.operands[0] = first & 0x07;
        out.operandCount = 1;
        if (out.op == op::CallLibS) {
            if (left < 1) {
                return false;
            }
            out.operands[1] = byte(at + 1);
            out.operandCount = 2;
            out.length = 2;
        }
        return true;
    }
    out.op = first;
    switch (first) {
        case op::JumpFw:
        case op::TJumpFw:
            return operands(ByteOffset) && jump(true);
        case op::JumpFwW:
        case op::TJumpFwW:
            return operands(WordOffset) && jump(true);
        case op::JumpBw:
        case op::TJumpBw:
            return operands(ByteOffset) && jump(false);
        case op::JumpBwW:
        case op::TJumpBwW:
            return operands(WordOffset) && jump(false);
        default:
            if (const OperandWidths widths = OperandWidthsOf(first); widths.count > 0) {
                return operands(widths);
            }
            return first >= op::Const0 && first <= op::Debug;
    }
}

std::string_view Mnemonic(std::uint8_t code) {
    switch (code) {
        case op::JumpFwS:
            return "JUMP_FW_S";
        case op::JumpBwS:
            return "JUMP_BW_S";
        case op::TJumpFwS:
            return "TJUMP_FW_S";
        case op::LoadVarS:
            return "LOAD_VAR_S";
        case op::StoreVarS:
            return "STORE_VAR_S";
        case op::LoadConstS:
            return "LOAD_CONST_S";
        case op::CallS:
            return "CALL_S";
        case op::CallLibS:
            return "CALL_LIB_S";
        case op::IncrVarS:
            return "INCR_VAR_S";
        case op::JumpFw:
            return "JUMP_FW";
        case op::JumpFwW:
            return "JUMP_FW_W";
        case op::JumpBw:
            return "JUMP_BW";
        case op::JumpBwW:
            return "JUMP_BW_W";
        case op::TJumpFw:
            return "TJUMP_FW";
        case op::TJumpFwW:
            return "TJUMP_FW_W";
        case op::TJumpBw:
            return "TJUMP_BW";
        case op::TJumpBwW:
            return "TJUMP_BW_W";
        case op::Call:
            return "CALL";
        case op::CallLib:
            return "CALL_LIB";
        case op::CallLibW:
            return "CALL_LIB_W";
        case op::CallUrl:
            return "CALL_URL";
        case op::CallUrlW:
            return "CALL_URL_W";
        case op::LoadVar:
            return "LOAD_VAR";
        case op::StoreVar:
            return "STORE_VAR";
        case op::IncrVar:
            return "INCR_VAR";
        case op::DecrVar:
            return "DECR_VAR";
        case op::LoadConst:
            return "LOAD_CONST";
        case op::LoadConstW:
            return "LOAD_CONST_W";
        case op::Const0:
            return "CONST_0";
        case op::Const1:
            return "CONST_1";
        case op::ConstM1:
            return "CONST_M1";
        case op::ConstEs:
            return "CONST_ES";
        case op::ConstInvalid:
            return "CONST_INVALID";
        case op::ConstTrue:
            return "CONST_TRUE";
        case op::ConstFalse:
            return "CONST_FALSE";
        case op::Incr:
            return "INCR";
        case op::Decr:
            return "DECR";
        case op::AddAsg:
            return "ADD_ASG";
        case op::SubAsg:
            return "SUB_ASG";
        case op::Uminus:
            return "UMINUS";
        case op::Add:
            return "ADD";
        case op::Sub:
            return "SUB";
        case op::Mul:
            return "MUL";
        case op::Div:
            return "DIV";
        case op::Idiv:
            return "IDIV";
        case op::Rem:
            return "REM";
        case op::BAnd:
            return "B_AND";
        case op::BOr:
            return "B_OR";
        case op::BXor:
            return "B_XOR";
        case op::BNot:
            return "B_NOT";
        case op::BLshift:
            return "B_LSHIFT";
        case op::BRsshift:
            return "B_RSSHIFT";
        case op::BRszshift:
            return "B_RSZSHIFT";
        case op::Eq:
            return "EQ";
        case op::Le:
            return "LE";
        case op::Lt:
            return "LT";
        case op::Ge:
            return "GE";
        case op::Gt:
            return "GT";
        case op::Ne:
            return "NE";
        case op::Not:
            return "NOT";
        case op::ScAnd:
            return "SCAND";
        case op::ScOr:
            return "SCOR";
        case op::ToBool:
            return "TOBOOL";
        case op::Pop:
            return "POP";
        case op::TypeOf:
            return "TYPEOF";
        case op::IsValid:
            return "ISVALID";
        case op::Return:
            return "RETURN";
        case op::ReturnEs:
            return "RETURN_ES";
        case op::Debug:
            return "DEBUG";
        default:
            return "?";
    }
}

std::string ConstantText(const ParsedUnit& unit, const UnitConstant& constant) {
    if (constant.type != ConstantType::CharsetString || unit.charset != Latin1Charset) {
        return constant.text;
    }
    std::string out;
    for (char c : constant.text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out.push_back(c);
        } else {
            out.push_back(static_cast<char>(0xc0 | (b >> 6)));
            out.push_back(static_cast<char>(0x80 | (b & 0x3f)));
        }
    }
    return out;
}

}  // namespace tessaly::wap::wmlscript

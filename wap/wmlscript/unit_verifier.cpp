// The verifier: a unit from a site is hostile. Beyond the pools that
// ReadUnit checks, every instruction of every function is decoded and its
// operands checked, and the operand stack is followed along every path, so
// that the page's machine can trust indexes, jump targets and stack depth.
// Work is linear in the unit's size: each code offset is decoded once and
// its stack depth settled once.

#include <string>
#include <vector>

#include "unit_reader.h"
#include "wmlscript.h"

namespace tessaly::wap::wmlscript {
namespace {

bool IsConditionalJump(std::uint8_t code) {
    return code == op::TJumpFwS || code == op::TJumpFw || code == op::TJumpFwW ||
           code == op::TJumpBw || code == op::TJumpBwW;
}

// How many values an instruction takes from the stack and leaves on it.
struct Effect {
    int pops = 0, pushes = 0;
    bool ends = false;         // RETURN, RETURN_ES
    bool fallsThrough = true;  // false for the unconditional jumps
};

class FunctionVerifier {
public:
    FunctionVerifier(const ParsedUnit& unit, int index, std::string& error)
        : unit_(unit), function_(unit.functions[index]), index_(index), error_(error) {}

    bool Run() {
        const std::string_view code = function_.code;
        if (code.empty()) {
            return Fail(0, "函数没有代码");
        }
        // Decode from the first byte to the last; every instruction must be
        // whole and known, and its operands in range.
        decoded_.resize(code.size());
        state_.assign(code.size(), Unset);
        std::vector<bool> paired(code.size(), false);
        for (std::size_t at = 0; at < code.size();) {
            DecodedInstruction& in = decoded_[at];
            if (!DecodeInstruction(code, at, in)) {
                return Fail(at, "未知的指令或残缺的指令");
            }
            if (!CheckOperands(at, in)) {
                return false;
            }
            state_[at] = Unvisited;
            const std::size_t next = at + static_cast<std::size_t>(in.length);
            if ((in.op == op::ScAnd || in.op == op::ScOr)) {
                // The short-circuit instructions are always followed by the
                // conditional jump that takes their boolean; the pair is one
                // step for the stack, and nothing may jump between them.
                DecodedInstruction following;
                if (next >= code.size() || !DecodeInstruction(code, next, following) ||
                    !IsConditionalJump(following.op)) {
                    return Fail(at, "SCAND/SCOR 之后不是条件跳转");
                }
                paired[next] = true;
            }
            at = next;
        }
        for (std::size_t at = 0; at < code.size(); ++at) {
            if (state_[at] != Unset && decoded_[at].isJump) {
                const long target = decoded_[at].target;
                if (target < 0 || target >= static_cast<long>(code.size()) ||
                    state_[static_cast<std::size_t>(target)] == Unset) {
                    return Fail(at, "跳转目标不在函数内的指令边界上");
                }
                if (paired[static_cast<std::size_t>(target)]) {
                    return Fail(at, "跳转目标落在 SCAND/SCOR 与其条件跳转之间");
                }
            }
        }
        return FollowStack();
    }

private:
    static constexpr int Unset = -2;      // not the start of an instruction
    static constexpr int Unvisited = -1;  // an instruction no path has reached yet

    bool Fail(std::size_t at, const std::string& what) {
        error_ = "函数 " + std::to_string(index_) + "（偏移 " + std::to_string(at) + "）：" + what;
        return false;
    }

    bool CheckVariable(std::size_t at, int var) {
        if (var >= function_.arguments + function_.locals) {
            return Fail(at, "变量序号超出范围");
        }
        return true;
    }
    bool CheckConstant(std::size_t at, int index) {
        if (index >= static_cast<int>(unit_.constants.size())) {
            return Fail(at, "常量序号超出范围");
        }
        return true;
    }

    bool CheckOperands(std::size_t at, const DecodedInstruction& in) {
        const int a = in.operands[0], b = in.operands[1];
        switch (in.op) {
            case op::LoadVarS:
            case op::StoreVarS:
            case op::IncrVarS:
            case op::LoadVar:
            case op::StoreVar:
            case op::IncrVar:
            case op::DecrVar:
            case op::AddAsg:
            case op::SubAsg:
                return CheckVariable(at, a);
            case op::LoadConstS:
            case op::LoadConst:
            case op::LoadConstW:
                return CheckConstant(at, a);
            case op::CallS:
            case op::Call:
                if (a >= static_cast<int>(unit_.functions.size())) {
                    return Fail(at, "调用的函数不存在");
                }
                return true;
            case op::CallLibS:
            case op::CallLib:
            case op::CallLibW:
                if (FindLibraryFunction(b, a) == nullptr) {
                    return Fail(at, "调用的库函数不存在");
                }
                return true;
            case op::CallUrl:
            case op::CallUrlW: {
                if (!CheckConstant(at, a) || !CheckConstant(at, b)) {
                    return false;
                }
                if (!unit_.constants[a].IsString()) {
                    return Fail(at, "外部调用的地址不是字符串常量");
                }
                const UnitConstant& name = unit_.constants[b];
                if (!name.IsString() || !IsIdentifier(name.text)) {
                    return Fail(at, "外部调用的函数名不是有效的名称");
                }
                return true;
            }
            default:
                return true;
        }
    }

    Effect EffectOf(const DecodedInstruction& in) const {
        Effect e;
        switch (in.op) {
            case op::JumpFwS:
            case op::JumpBwS:
            case op::JumpFw:
            case op::JumpFwW:
            case op::JumpBw:
            case op::JumpBwW:
                e.fallsThrough = false;
                break;
            case op::TJumpFwS:
            case op::TJumpFw:
            case op::TJumpFwW:
            case op::TJumpBw:
            case op::TJumpBwW:
                e.pops = 1;
                break;
            case op::CallS:
            case op::Call:
                e.pops = unit_.functions[in.operands[0]].arguments;
                e.pushes = 1;
                break;
            case op::CallLibS:
            case op::CallLib:
            case op::CallLibW:
                e.pops = FindLibraryFunction(in.operands[1], in.operands[0])->arguments;
                e.pushes = 1;
                break;
            case op::CallUrl:
            case op::CallUrlW:
                e.pops = in.operands[2];
                e.pushes = 1;
                break;
            case op::Return:
            case op::ReturnEs:
                e.pops = FixedStackUse(in.op).pops;
                e.ends = true;
                break;
            default: {
                const StackUse use = FixedStackUse(in.op);
                e.pops = use.pops;
                e.pushes = use.pushes;
                break;
            }
        }
        return e;
    }

    // Gives `at` its depth, or checks it against the one it has.
    bool Reach(std::size_t from, long at, int depth) {
        if (at >= static_cast<long>(function_.code.size())) {
            return Fail(from, "代码执行到函数末尾而没有返回");
        }
        int& known = state_[static_cast<std::size_t>(at)];
        if (known == Unvisited) {
            known = depth;
            work_.push_back(static_cast<std::size_t>(at));
            return true;
        }
        if (known != depth) {
            return Fail(from, "几条路径汇合处的栈深度不同");
        }
        return true;
    }

    bool FollowStack() {
        if (!Reach(0, 0, 0)) {
            return false;
        }
        while (!work_.empty()) {
            const std::size_t at = work_.back();
            work_.pop_back();
            const DecodedInstruction& in = decoded_[at];
            const int depth = state_[at];
            const long next = static_cast<long>(at) + in.length;
            if (in.op == op::ScAnd || in.op == op::ScOr) {
                // Left value on top; leaves it and false (jump taken) or true
                // alone (jump not taken, the value gone).
                if (depth < 1) {
                    return Fail(at, "操作数栈下溢");
                }
                if (depth + 1 > MaxStackDepth) {
                    return Fail(at, "操作数栈超过 1024 项");
                }
                const DecodedInstruction& jump = decoded_[static_cast<std::size_t>(next)];
                if (!Reach(at, jump.target, depth) || !Reach(at, next + jump.length, depth - 1)) {
                    return false;
                }
                continue;
            }
            const Effect e = EffectOf(in);
            if (e.pops > depth) {
                return Fail(at, "操作数栈下溢");
            }
            const int after = depth - e.pops + e.pushes;
            if (after > MaxStackDepth) {
                return Fail(at, "操作数栈超过 1024 项");
            }
            if (e.ends) {
                continue;
            }
            if (in.isJump && !Reach(at, in.target, after)) {
                return false;
            }
            if (e.fallsThrough && !Reach(at, next, after)) {
                return false;
            }
        }
        return true;
    }

    const ParsedUnit& unit_;
    const UnitFunction& function_;
    int index_;
    std::string& error_;
    std::vector<DecodedInstruction> decoded_;
    std::vector<int> state_;  // per code offset: Unset, Unvisited, or the stack depth there
    std::vector<std::size_t> work_;
};

}  // namespace

VerifyResult Verify(std::string_view unit) {
    VerifyResult result;
    ParsedUnit parsed;
    std::string error;
    if (!ReadUnit(unit, parsed, error)) {
        result.message = error;
        return result;
    }
    for (int i = 0; i < static_cast<int>(parsed.functions.size()); ++i) {
        if (!FunctionVerifier(parsed, i, error).Run()) {
            result.message = error;
            return result;
        }
    }
    result.ok = true;
    return result;
}

}  // namespace tessaly::wap::wmlscript

// The WMLScript compiler on any text, as a site may send it.
//
// Invariants: a script compiles or fails with a position and a message; what
// compiles passes the verifier and fits its bound; the listing and summary of
// it can be made; compiling is deterministic.

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_folder.h"
#include "unit_format.h"
#include "wmlscript.h"

using tessaly::fuzz::Broken;
namespace ws = tessaly::wap::wmlscript;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view source(reinterpret_cast<const char*>(data), size);
    const ws::CompileResult result = ws::Compile(source);
    if (!result.ok) {
        if (result.line < 1 || result.column < 1 || result.message.empty()) {
            Broken("an error without a position or a message");
        }
        return 0;
    }
    if (result.unit.size() > ws::MaxUnitBytes) {
        Broken("a unit larger than the verifier takes");
    }
    const ws::VerifyResult verified = ws::Verify(result.unit);
    if (!verified.ok) {
        std::fprintf(stderr, "%s\n", verified.message.c_str());
        Broken("a compiled unit the verifier refuses");
    }
    if (ws::Disassemble(result.unit).empty()) {
        Broken("no listing of a compiled unit");
    }
    (void)ws::Summarize(result.unit);
    if (ws::Compile(source).unit != result.unit) {
        Broken("two compilations of one script differ");
    }
    return 0;
}

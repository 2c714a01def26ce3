// The WMLScript verifier on any bytes, as a site may send them as a compiled
// unit (application/vnd.wap.wmlscriptc).
//
// Invariants: verifying never crashes, and a unit it refuses carries a
// message; a unit it accepts can be listed and summarised, and every
// extern name and address in the summary is text from the unit.

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_folder.h"
#include "unit_format.h"
#include "wmlscript.h"

using tessaly::fuzz::Broken;
namespace ws = tessaly::wap::wmlscript;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view unit(reinterpret_cast<const char*>(data), size);
    const ws::VerifyResult result = ws::Verify(unit);
    if (!result.ok) {
        if (result.message.empty()) {
            Broken("a refusal without a message");
        }
        return 0;
    }
    if (size > ws::MaxUnitBytes) {
        Broken("a unit over the bound accepted");
    }
    if (ws::Disassemble(unit).empty()) {
        Broken("no listing of a verified unit");
    }
    const ws::UnitSummary summary = ws::Summarize(unit);
    for (const std::string& name : summary.externs) {
        if (!ws::IsIdentifier(name)) {
            Broken("an extern name that is no name");
        }
    }
    return 0;
}

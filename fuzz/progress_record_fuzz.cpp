// The progress record reader, then a start, a session of awards and
// refreshes on a display that does nothing, and a save.
//
// Invariants: nothing crashes or reads outside the threshold table (the
// sanitizers watch), a refresh never lowers the level, and a saved record
// reads back to exactly the values saved.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>

#include "core.h"
#include "failure.h"
#include "fuzz_folder.h"
#include "null_display.h"
#include "rank_presentation.h"

namespace {

using tessaly::fuzz::Broken;

enum class Table { Built, FromInput, Missing };

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const tessaly::fuzz::FuzzFolder Folder;
    Folder.Clear();
    FuzzedDataProvider input(data, size);

    const auto table = static_cast<Table>(input.ConsumeIntegralInRange(0, 2));
    if (table == Table::Built) {
        tessaly::Core(Folder.Path()).BuildLevelTable();
    } else if (table == Table::FromInput) {
        Folder.Write("Data.dat", input.ConsumeRandomLengthString(60 * 128));
    }
    Folder.Write("Xdata.dat", input.ConsumeRandomLengthString(512));

    tessaly::Core core(Folder.Path());
    core.StartRun();

    tessaly::bench::NullDisplay display;
    for (int step = 0; step < 32 && input.remaining_bytes() > 0; ++step) {
        switch (input.ConsumeIntegralInRange(0, 5)) {
            case 0:
                core.AwardSponsorClick();
                break;
            case 1:
                core.AwardStatusTextChange();
                break;
            case 2:
                core.AwardProgressChange(input.ConsumeIntegral<std::int32_t>());
                break;
            case 3:
                core.AwardNavigateComplete();
                break;
            case 4:
                core.AwardDownloadComplete();
                break;
            default: {
                const std::int32_t before = core.Level;
                try {
                    tessaly::Flash(core, display);
                } catch (const tessaly::Failure&) {
                    // A level outside the table fails the refresh; that is allowed.
                }
                if (core.Level < before) {
                    Broken("a refresh lowered the level");
                }
                break;
            }
        }
    }

    core.SaveProgress();
    tessaly::Core reader(Folder.Path());
    reader.LoadProgress();
    if (reader.Level != core.Level || reader.RunCount != core.RunCount ||
        !(reader.Experience == core.Experience)) {
        std::fprintf(stderr, "saved %d,%d,%.17g read back %d,%d,%.17g\n", core.Level, core.RunCount,
                     core.Experience, reader.Level, reader.RunCount, reader.Experience);
        Broken("a saved record reads back different");
    }
    return 0;
}

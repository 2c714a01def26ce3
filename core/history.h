#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "list_file.h"

namespace tessaly {

struct Visit {
    std::int64_t time = 0;  // UTC, seconds since 1970
    std::string title;
    std::string address;
};

// One local calendar day of history, newest visit first; `visits` index
// History::Visits().
struct HistoryDay {
    int year = 0, month = 0, day = 0;
    std::vector<std::size_t> visits;
};

// Every page and card shown (历史记录), in Data/History.txt, oldest first.
// Bounded: visits older than MaxAgeDays go, and the oldest go first while
// there are more than MaxVisits or the file would pass MaxFileBytes.
class History {
public:
    static constexpr std::size_t MaxVisits = 5000;
    static constexpr std::int64_t MaxAgeDays = 90;
    static constexpr std::size_t MaxFileBytes = 2 * 1024 * 1024;
    static constexpr std::size_t MaxTitleBytes = 1024;
    static constexpr std::size_t MaxAddressBytes = 4 * 1024;

    explicit History(const std::filesystem::path& programFolder);

    // Replaces the visits with the file's, within the bounds as of `now`; an
    // unreadable line is skipped and the file kept aside.
    void Load(std::int64_t now);
    bool Save() const;

    const std::vector<Visit>& Visits() const { return visits_; }

    // A page or card shown at `now`. The same address shown again right
    // after itself (a reload) is the same visit, moved to `now`. False when
    // the address is empty or too long to keep.
    bool Add(std::string_view address, std::string_view title, std::int64_t now);
    // The title of the newest visit, when that visit is of `address`.
    bool SetTitle(std::string_view address, std::string_view title);
    void Remove(std::size_t index);
    void Clear();

    // The visits whose title or address holds `text`, ASCII letters in
    // either case, newest first; every visit for an empty text.
    std::vector<std::size_t> Search(std::string_view text) const;
    // `visits` grouped by the local day they fall on, newest day first, in
    // the order given within each day.
    std::vector<HistoryDay> GroupByLocalDay(const std::vector<std::size_t>& visits) const;

    const std::filesystem::path& Path() const { return file_.Path(); }

private:
    void Bound(std::int64_t now);

    ListFile file_;
    std::vector<Visit> visits_;
    std::size_t bytes_ = 0;  // what the visits take in the file
};

}  // namespace tessaly

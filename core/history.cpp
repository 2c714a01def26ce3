#include "history.h"

#include <algorithm>
#include <charconv>
#include <ctime>
#include <tuple>
#include <utility>

namespace tessaly {

namespace {

constexpr char HistoryHeader[] = "Tessaly history 1";
constexpr std::int64_t SecondsPerDay = 24 * 60 * 60;

// time, title, address
std::string VisitLine(const Visit& visit) {
    return std::to_string(visit.time) + '\t' + EscapeField(visit.title) + '\t' +
           EscapeField(visit.address);
}

std::size_t LineBytes(const Visit& visit) {
    return VisitLine(visit).size() + 1;
}

}  // namespace

History::History(const std::filesystem::path& programFolder)
    : file_(programFolder, "History.txt", HistoryHeader, MaxFileBytes) {}

void History::Load(std::int64_t now) {
    visits_.clear();
    bytes_ = 0;
    for (const std::string& line : file_.Load()) {
        const auto fields = SplitFields(line, 3);
        Visit visit;
        const std::string* time = fields ? &(*fields)[0] : nullptr;
        if (time == nullptr || time->empty() ||
            std::from_chars(time->data(), time->data() + time->size(), visit.time).ptr !=
                time->data() + time->size() ||
            (*fields)[2].empty() || (*fields)[2].size() > MaxAddressBytes) {
            file_.KeepDamagedAside();
            continue;
        }
        visit.title = CleanText((*fields)[1], MaxTitleBytes);
        visit.address = (*fields)[2];
        bytes_ += LineBytes(visit);
        visits_.push_back(std::move(visit));
    }
    // A file put together by hand may be out of order; the bounds drop the oldest.
    std::stable_sort(visits_.begin(), visits_.end(),
                     [](const Visit& a, const Visit& b) { return a.time < b.time; });
    Bound(now);
}

bool History::Save() const {
    std::vector<std::string> lines;
    lines.reserve(visits_.size());
    for (const Visit& visit : visits_) {
        lines.push_back(VisitLine(visit));
    }
    return file_.Save(lines);
}

void History::Bound(std::int64_t now) {
    const std::int64_t oldest = now - MaxAgeDays * SecondsPerDay;
    const std::size_t headerBytes = file_.SizeOf({});
    std::size_t drop = 0;
    while (drop < visits_.size() &&
           (visits_[drop].time < oldest || visits_.size() - drop > MaxVisits ||
            headerBytes + bytes_ > MaxFileBytes)) {
        bytes_ -= LineBytes(visits_[drop]);
        ++drop;
    }
    visits_.erase(visits_.begin(), visits_.begin() + static_cast<std::ptrdiff_t>(drop));
}

bool History::Add(std::string_view address, std::string_view title, std::int64_t now) {
    Visit visit{now, CleanText(title, MaxTitleBytes), CleanText(address, MaxAddressBytes + 1)};
    if (visit.address.empty() || visit.address.size() > MaxAddressBytes) {
        return false;
    }
    if (!visits_.empty() && visits_.back().address == visit.address) {
        bytes_ -= LineBytes(visits_.back());
        if (visit.title.empty()) {
            visit.title = visits_.back().title;
        }
        visits_.pop_back();
    }
    bytes_ += LineBytes(visit);
    visits_.push_back(std::move(visit));
    Bound(now);
    return true;
}

bool History::SetTitle(std::string_view address, std::string_view title) {
    if (visits_.empty() || visits_.back().address != address) {
        return false;
    }
    Visit& visit = visits_.back();
    bytes_ -= LineBytes(visit);
    visit.title = CleanText(title, MaxTitleBytes);
    bytes_ += LineBytes(visit);
    return true;
}

void History::Remove(std::size_t index) {
    if (index < visits_.size()) {
        bytes_ -= LineBytes(visits_[index]);
        visits_.erase(visits_.begin() + static_cast<std::ptrdiff_t>(index));
    }
}

void History::Clear() {
    visits_.clear();
    bytes_ = 0;
}

std::vector<std::size_t> History::Search(std::string_view text) const {
    const std::string wanted = FoldCase(text);
    std::vector<std::size_t> found;
    for (std::size_t i = visits_.size(); i-- > 0;) {
        const Visit& visit = visits_[i];
        if (FoldCase(visit.title).find(wanted) != std::string::npos ||
            FoldCase(visit.address).find(wanted) != std::string::npos) {
            found.push_back(i);
        }
    }
    return found;
}

std::vector<HistoryDay> History::GroupByLocalDay(const std::vector<std::size_t>& visits) const {
    std::vector<HistoryDay> days;
    for (std::size_t index : visits) {
        if (index >= visits_.size()) {
            continue;
        }
        const auto time = static_cast<std::time_t>(visits_[index].time);
        std::tm local{};
        if (::localtime_r(&time, &local) == nullptr) {
            continue;
        }
        const HistoryDay key{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, {}};
        auto day = days.begin();
        while (day != days.end() &&
               !(day->year == key.year && day->month == key.month && day->day == key.day)) {
            ++day;
        }
        if (day == days.end()) {
            days.push_back(key);
            day = days.end() - 1;
        }
        day->visits.push_back(index);
    }
    // Newest day first, whatever order the visits came in.
    std::stable_sort(days.begin(), days.end(), [](const HistoryDay& a, const HistoryDay& b) {
        return std::tie(a.year, a.month, a.day) > std::tie(b.year, b.month, b.day);
    });
    return days;
}

}  // namespace tessaly

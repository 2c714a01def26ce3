#include "favourites.h"

#include <utility>

namespace tessaly {

namespace {

constexpr char FavouritesHeader[] = "Tessaly favourites 1";

// The first field of each line says what it is.
constexpr std::string_view EntryTag = "E";   // E, title, address: a top-level entry
constexpr std::string_view FolderTag = "F";  // F, name: a folder
constexpr std::string_view InnerTag = "I";   // I, title, address: an entry of the folder above

std::string EntryLine(std::string_view tag, const std::string& title, const std::string& address) {
    return std::string(tag) + '\t' + EscapeField(title) + '\t' + EscapeField(address);
}

bool ValidAddress(const std::string& address) {
    return !address.empty() && address.size() <= Favourites::MaxAddressBytes;
}

}  // namespace

Favourites::Favourites(const std::filesystem::path& programFolder)
    : file_(programFolder, "Favourites.txt", FavouritesHeader, MaxFileBytes) {}

void Favourites::Load() {
    items_.clear();
    std::size_t count = 0;
    for (const std::string& line : file_.Load()) {
        const std::string_view tag = std::string_view(line).substr(0, line.find('\t'));
        const bool isFolder = tag == FolderTag;
        const auto fields = SplitFields(line, isFolder ? 2 : 3);
        const bool inner = tag == InnerTag && !items_.empty() && items_.back().isFolder;
        const bool known = isFolder || tag == EntryTag || inner;
        if (count == MaxItems) {
            file_.KeepDamagedAside();
            break;
        }
        if (!fields || !known || (!isFolder && !ValidAddress((*fields)[2]))) {
            file_.KeepDamagedAside();
            continue;
        }
        const std::string title = CleanText((*fields)[1], MaxTitleBytes);
        ++count;
        if (inner) {
            items_.back().entries.push_back({title, (*fields)[2]});
        } else if (isFolder) {
            items_.push_back({true, title, {}, {}});
        } else {
            items_.push_back({false, title, (*fields)[2], {}});
        }
    }
}

std::vector<std::string> Favourites::Lines() const {
    std::vector<std::string> lines;
    for (const FavouriteItem& item : items_) {
        if (!item.isFolder) {
            lines.push_back(EntryLine(EntryTag, item.title, item.address));
            continue;
        }
        lines.push_back(std::string(FolderTag) + '\t' + EscapeField(item.title));
        for (const Favourite& entry : item.entries) {
            lines.push_back(EntryLine(InnerTag, entry.title, entry.address));
        }
    }
    return lines;
}

bool Favourites::Save() const {
    return file_.Save(Lines());
}

std::size_t Favourites::Count() const {
    std::size_t count = items_.size();
    for (const FavouriteItem& item : items_) {
        count += item.entries.size();
    }
    return count;
}

std::vector<Favourite> Favourites::Entries() const {
    std::vector<Favourite> entries;
    for (const FavouriteItem& item : items_) {
        if (!item.isFolder) {
            entries.push_back({item.title, item.address});
        }
        entries.insert(entries.end(), item.entries.begin(), item.entries.end());
    }
    return entries;
}

bool Favourites::Fits() const {
    return Count() <= MaxItems && file_.SizeOf(Lines()) <= MaxFileBytes;
}

bool Favourites::Exists(const FavouritePlace& place) const {
    if (place.item >= items_.size()) {
        return false;
    }
    const FavouriteItem& item = items_[place.item];
    return !place.entry || (item.isFolder && *place.entry < item.entries.size());
}

std::optional<FavouritePlace> Favourites::Add(std::string_view title, std::string_view address,
                                              std::optional<std::size_t> folder) {
    const std::string cleanAddress = CleanText(address, MaxAddressBytes + 1);
    if (!ValidAddress(cleanAddress) ||
        (folder && (*folder >= items_.size() || !items_[*folder].isFolder))) {
        return std::nullopt;
    }
    Favourite entry{CleanText(title, MaxTitleBytes), cleanAddress};
    FavouritePlace place;
    if (folder) {
        auto& entries = items_[*folder].entries;
        entries.push_back(std::move(entry));
        place = {*folder, entries.size() - 1};
    } else {
        items_.push_back({false, std::move(entry.title), std::move(entry.address), {}});
        place = {items_.size() - 1, std::nullopt};
    }
    if (!Fits()) {
        Remove(place);
        return std::nullopt;
    }
    return place;
}

std::optional<FavouritePlace> Favourites::NewFolder(std::string_view name) {
    items_.push_back({true, CleanText(name, MaxTitleBytes), {}, {}});
    if (!Fits()) {
        items_.pop_back();
        return std::nullopt;
    }
    return FavouritePlace{items_.size() - 1, std::nullopt};
}

bool Favourites::Rename(const FavouritePlace& place, std::string_view title) {
    if (!Exists(place)) {
        return false;
    }
    std::string& current =
        place.entry ? items_[place.item].entries[*place.entry].title : items_[place.item].title;
    std::string old = std::exchange(current, CleanText(title, MaxTitleBytes));
    if (!Fits()) {
        current = std::move(old);
        return false;
    }
    return true;
}

bool Favourites::Remove(const FavouritePlace& place) {
    if (!Exists(place)) {
        return false;
    }
    if (place.entry) {
        auto& entries = items_[place.item].entries;
        entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(*place.entry));
    } else {
        items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(place.item));
    }
    return true;
}

std::optional<FavouritePlace> Favourites::Move(const FavouritePlace& place, bool up) {
    if (!Exists(place)) {
        return std::nullopt;
    }
    FavouritePlace moved = place;
    std::size_t& index = place.entry ? *moved.entry : moved.item;
    const std::size_t size = place.entry ? items_[place.item].entries.size() : items_.size();
    if (up ? index == 0 : index + 1 >= size) {
        return std::nullopt;
    }
    const std::size_t other = up ? index - 1 : index + 1;
    if (place.entry) {
        std::swap(items_[place.item].entries[index], items_[place.item].entries[other]);
    } else {
        std::swap(items_[index], items_[other]);
    }
    index = other;
    return moved;
}

std::optional<FavouritePlace> Favourites::MoveUp(const FavouritePlace& place) {
    return Move(place, true);
}

std::optional<FavouritePlace> Favourites::MoveDown(const FavouritePlace& place) {
    return Move(place, false);
}

std::optional<FavouritePlace> Favourites::MoveIntoFolder(const FavouritePlace& place,
                                                         std::size_t folder) {
    if (!Exists(place) || place.entry || items_[place.item].isFolder || folder >= items_.size() ||
        !items_[folder].isFolder) {
        return std::nullopt;
    }
    FavouriteItem item = std::move(items_[place.item]);
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(place.item));
    const std::size_t target = folder > place.item ? folder - 1 : folder;
    auto& entries = items_[target].entries;
    entries.push_back({std::move(item.title), std::move(item.address)});
    return FavouritePlace{target, entries.size() - 1};
}

std::optional<FavouritePlace> Favourites::MoveOutOfFolder(const FavouritePlace& place) {
    if (!Exists(place) || !place.entry) {
        return std::nullopt;
    }
    auto& entries = items_[place.item].entries;
    Favourite entry = std::move(entries[*place.entry]);
    entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(*place.entry));
    const std::size_t target = place.item + 1;
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(target),
                  {false, std::move(entry.title), std::move(entry.address), {}});
    return FavouritePlace{target, std::nullopt};
}

}  // namespace tessaly

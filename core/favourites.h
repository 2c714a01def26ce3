#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "list_file.h"

namespace tessaly {

struct Favourite {
    std::string title;
    std::string address;
};

// One line of the top level: an entry, or a folder of entries (folders go one
// level deep).
struct FavouriteItem {
    bool isFolder = false;
    std::string title;    // the folder's name for a folder
    std::string address;  // empty for a folder
    std::vector<Favourite> entries;
};

// Where an item is: the top-level item, or the entry `entry` of the folder
// at `item`.
struct FavouritePlace {
    FavouritePlace() = default;
    FavouritePlace(std::size_t itemIndex, std::optional<std::size_t> entryIndex = std::nullopt)
        : item(itemIndex), entry(entryIndex) {}
    std::size_t item = 0;
    std::optional<std::size_t> entry;
    bool operator==(const FavouritePlace&) const = default;
};

// The user's favourites (收藏夹) in Data/Favourites.txt, in the user's order.
// Every change is made in memory; Save writes the whole list. A change that
// does not fit (a place that does not exist, a list or file that would grow
// past its bound) changes nothing and returns false or nothing.
class Favourites {
public:
    static constexpr std::size_t MaxItems = 2000;  // entries and folders together
    static constexpr std::size_t MaxFileBytes = 1024 * 1024;
    static constexpr std::size_t MaxTitleBytes = 1024;
    static constexpr std::size_t MaxAddressBytes = 8 * 1024;

    explicit Favourites(const std::filesystem::path& programFolder);

    // Replaces the list with the file's; an unreadable line is skipped and
    // the file kept aside.
    void Load();
    bool Save() const;

    const std::vector<FavouriteItem>& Items() const { return items_; }
    std::size_t Count() const;
    // Every entry, folders' entries included, in order.
    std::vector<Favourite> Entries() const;

    // A new entry at the end of the top level, or of the folder `folder`.
    std::optional<FavouritePlace> Add(std::string_view title, std::string_view address,
                                      std::optional<std::size_t> folder = std::nullopt);
    std::optional<FavouritePlace> NewFolder(std::string_view name);
    bool Rename(const FavouritePlace& place, std::string_view title);
    // A folder goes with its entries.
    bool Remove(const FavouritePlace& place);
    // Swaps with the neighbour in the same list.
    std::optional<FavouritePlace> MoveUp(const FavouritePlace& place);
    std::optional<FavouritePlace> MoveDown(const FavouritePlace& place);
    // A top-level entry to the end of a folder.
    std::optional<FavouritePlace> MoveIntoFolder(const FavouritePlace& place, std::size_t folder);
    // A folder's entry to the top level, just after its folder.
    std::optional<FavouritePlace> MoveOutOfFolder(const FavouritePlace& place);

    const std::filesystem::path& Path() const { return file_.Path(); }

private:
    std::vector<std::string> Lines() const;
    bool Fits() const;
    bool Exists(const FavouritePlace& place) const;
    std::optional<FavouritePlace> Move(const FavouritePlace& place, bool up);

    ListFile file_;
    std::vector<FavouriteItem> items_;
};

}  // namespace tessaly

#include "favourites_window.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QPushButton>
#include <QSet>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "button_column.h"

namespace tessaly {

namespace {

constexpr int WindowWidth = 520;
constexpr int WindowHeight = 360;

// clang-format off
const ButtonSpec Buttons[] = {
    {"open",        "打开"},
    {"rename",      "重命名"},
    {"remove",      "删除"},
    {"up",          "上移"},
    {"down",        "下移"},
    {"newFolder",   "新建文件夹"},
    {"intoFolder",  "移入文件夹"},
    {"outOfFolder", "移出文件夹"},
};
// clang-format on

// Where an item of the tree is in the model: the top-level index, and the
// entry's index in its folder (-1 for a top-level item).
constexpr int ItemRole = Qt::UserRole;
constexpr int EntryRole = Qt::UserRole + 1;

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

QTreeWidgetItem* EntryItem(const std::string& title, const std::string& address) {
    auto* item = new QTreeWidgetItem;
    // An entry without a title shows its address.
    item->setText(0, title.empty() ? Text(address) : Text(title));
    item->setText(1, Text(address));
    item->setToolTip(0, Text(address));
    item->setToolTip(1, Text(address));
    return item;
}

FavouritePlace PlaceOf(const QTreeWidgetItem* item) {
    const int entry = item->data(0, EntryRole).toInt();
    return {item->data(0, ItemRole).toULongLong(),
            entry < 0 ? std::nullopt : std::optional<std::size_t>(std::size_t(entry))};
}

}  // namespace

FavouritesWindow::Questions FavouritesWindow::DialogQuestions() {
    Questions questions;
    questions.askText = [](QWidget* owner, const QString& label,
                           const QString& text) -> std::optional<QString> {
        bool ok = false;
        const QString answer =
            QInputDialog::getText(owner, owner->windowTitle(), label, QLineEdit::Normal, text, &ok);
        return ok ? std::optional<QString>(answer) : std::nullopt;
    };
    questions.askChoice = [](QWidget* owner, const QString& label,
                             const QStringList& choices) -> std::optional<int> {
        bool ok = false;
        const QString answer =
            QInputDialog::getItem(owner, owner->windowTitle(), label, choices, 0, false, &ok);
        return ok ? std::optional<int>(int(choices.indexOf(answer))) : std::nullopt;
    };
    questions.confirm = ConfirmWithDialog;
    return questions;
}

FavouritesWindow::FavouritesWindow(Favourites& favourites, QWidget* owner, Questions questions)
    : QWidget(owner, Qt::Tool), favourites_(favourites), questions_(std::move(questions)) {
    setWindowTitle(QStringLiteral("收藏夹"));
    resize(WindowWidth, WindowHeight);

    tree_ = new QTreeWidget(this);
    tree_->setObjectName(QStringLiteral("tree"));
    tree_->setHeaderLabels({QStringLiteral("名称"), QStringLiteral("地址")});
    tree_->header()->setSectionResizeMode(0, QHeaderView::Interactive);
    tree_->setColumnWidth(0, 200);
    tree_->setSelectionMode(QAbstractItemView::SingleSelection);
    tree_->setExpandsOnDoubleClick(false);

    auto* column = new QVBoxLayout;
    buttons_ = AddButtonColumn(this, column, Buttons, [this](const QString& name) { Click(name); });
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(tree_, 1);
    layout->addLayout(column);

    // Double-click or Enter: an entry opens, a folder opens or closes.
    connect(tree_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        if (item->data(0, EntryRole).toInt() < 0 &&
            favourites_.Items().at(PlaceOf(item).item).isFolder) {
            item->setExpanded(!item->isExpanded());
        } else {
            OpenSelected();
        }
    });
    connect(tree_, &QTreeWidget::itemSelectionChanged, this, &FavouritesWindow::UpdateButtons);
    Refresh();
}

void FavouritesWindow::Click(const QString& name) {
    static const QHash<QString, void (FavouritesWindow::*)()> Handlers = {
        {QStringLiteral("open"), &FavouritesWindow::OpenSelected},
        {QStringLiteral("rename"), &FavouritesWindow::RenameSelected},
        {QStringLiteral("remove"), &FavouritesWindow::RemoveSelected},
        {QStringLiteral("up"), &FavouritesWindow::MoveSelectedUp},
        {QStringLiteral("down"), &FavouritesWindow::MoveSelectedDown},
        {QStringLiteral("newFolder"), &FavouritesWindow::NewFolder},
        {QStringLiteral("intoFolder"), &FavouritesWindow::MoveSelectedIntoFolder},
        {QStringLiteral("outOfFolder"), &FavouritesWindow::MoveSelectedOutOfFolder},
    };
    if (const auto handler = Handlers.value(name)) {
        (this->*handler)();
    }
}

void FavouritesWindow::Refresh() {
    const std::optional<FavouritePlace> selected = Selected();
    QSet<std::size_t> open;
    for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
        if (tree_->topLevelItem(i)->isExpanded()) {
            open.insert(std::size_t(i));
        }
    }
    tree_->clear();
    const auto& items = favourites_.Items();
    for (std::size_t i = 0; i < items.size(); ++i) {
        const FavouriteItem& item = items[i];
        QTreeWidgetItem* row = nullptr;
        if (item.isFolder) {
            row = new QTreeWidgetItem({Text(item.title)});
            row->setIcon(0, style()->standardIcon(QStyle::SP_DirIcon));
            for (std::size_t e = 0; e < item.entries.size(); ++e) {
                QTreeWidgetItem* entry = EntryItem(item.entries[e].title, item.entries[e].address);
                entry->setData(0, ItemRole, qulonglong(i));
                entry->setData(0, EntryRole, int(e));
                row->addChild(entry);
            }
        } else {
            row = EntryItem(item.title, item.address);
        }
        row->setData(0, ItemRole, qulonglong(i));
        row->setData(0, EntryRole, -1);
        tree_->addTopLevelItem(row);
        row->setExpanded(open.contains(i));
    }
    if (selected) {
        Select(*selected);
    }
    UpdateButtons();
}

void FavouritesWindow::Select(const FavouritePlace& place) {
    QTreeWidgetItem* item = tree_->topLevelItem(int(place.item));
    if (item != nullptr && place.entry) {
        item->setExpanded(true);
        item = item->child(int(*place.entry));
    }
    if (item != nullptr) {
        tree_->setCurrentItem(item);
    } else {
        tree_->clearSelection();
    }
}

std::optional<FavouritePlace> FavouritesWindow::Selected() const {
    const QList<QTreeWidgetItem*> selected = tree_->selectedItems();
    if (selected.isEmpty()) {
        return std::nullopt;
    }
    return PlaceOf(selected.first());
}

void FavouritesWindow::UpdateButtons() {
    const std::optional<FavouritePlace> place = Selected();
    const auto& items = favourites_.Items();
    const bool any = place.has_value();
    const bool folder = any && !place->entry && items.at(place->item).isFolder;
    const bool topEntry = any && !place->entry && !folder;
    const bool hasFolder =
        std::any_of(items.begin(), items.end(), [](const auto& item) { return item.isFolder; });
    buttons_.value(QStringLiteral("open"))->setEnabled(any && !folder);
    buttons_.value(QStringLiteral("rename"))->setEnabled(any);
    buttons_.value(QStringLiteral("remove"))->setEnabled(any);
    buttons_.value(QStringLiteral("up"))->setEnabled(any);
    buttons_.value(QStringLiteral("down"))->setEnabled(any);
    buttons_.value(QStringLiteral("intoFolder"))->setEnabled(topEntry && hasFolder);
    buttons_.value(QStringLiteral("outOfFolder"))->setEnabled(any && place->entry.has_value());
}

void FavouritesWindow::Done(const std::optional<FavouritePlace>& place) {
    if (!place) {
        return;
    }
    Refresh();
    Select(*place);
    emit Changed();
}

void FavouritesWindow::OpenSelected() {
    const std::optional<FavouritePlace> place = Selected();
    if (!place) {
        return;
    }
    const FavouriteItem& item = favourites_.Items().at(place->item);
    if (place->entry) {
        emit OpenAddress(Text(item.entries.at(*place->entry).address));
    } else if (!item.isFolder) {
        emit OpenAddress(Text(item.address));
    }
}

void FavouritesWindow::RenameSelected() {
    const std::optional<FavouritePlace> place = Selected();
    if (!place) {
        return;
    }
    const FavouriteItem& item = favourites_.Items().at(place->item);
    const std::string& title = place->entry ? item.entries.at(*place->entry).title : item.title;
    const auto name = questions_.askText(this, QStringLiteral("新名称:"), Text(title));
    if (name && favourites_.Rename(*place, name->trimmed().toStdString())) {
        Done(place);
    }
}

void FavouritesWindow::RemoveSelected() {
    const std::optional<FavouritePlace> place = Selected();
    if (!place) {
        return;
    }
    const FavouriteItem& item = favourites_.Items().at(place->item);
    // A folder goes with everything in it: only once the user agrees.
    if (!place->entry && item.isFolder && !item.entries.empty() &&
        !questions_.confirm(this, QStringLiteral("删除文件夹“%1”和其中的 %2 个收藏？")
                                      .arg(Text(item.title))
                                      .arg(item.entries.size()))) {
        return;
    }
    if (favourites_.Remove(*place)) {
        Refresh();
        // The selection moves to what took the removed item's place.
        FavouritePlace next = *place;
        const auto& items = favourites_.Items();
        if (next.entry && *next.entry >= items.at(next.item).entries.size()) {
            next = items.at(next.item).entries.empty()
                       ? next.item
                       : FavouritePlace(next.item, items.at(next.item).entries.size() - 1);
        } else if (!next.entry && next.item >= items.size() && !items.empty()) {
            next = items.size() - 1;
        }
        Select(next);
        emit Changed();
    }
}

void FavouritesWindow::MoveSelectedUp() {
    if (const auto place = Selected()) {
        Done(favourites_.MoveUp(*place));
    }
}

void FavouritesWindow::MoveSelectedDown() {
    if (const auto place = Selected()) {
        Done(favourites_.MoveDown(*place));
    }
}

void FavouritesWindow::NewFolder() {
    const auto name =
        questions_.askText(this, QStringLiteral("文件夹名称:"), QStringLiteral("新建文件夹"));
    if (!name) {
        return;
    }
    // Nothing happens when the favourites are full (2,000 entries and folders).
    Done(favourites_.NewFolder(name->trimmed().toStdString()));
}

void FavouritesWindow::MoveSelectedIntoFolder() {
    const auto place = Selected();
    if (!place) {
        return;
    }
    QStringList names;
    std::vector<std::size_t> folders;
    const auto& items = favourites_.Items();
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].isFolder) {
            names << Text(items[i].title);
            folders.push_back(i);
        }
    }
    if (folders.empty()) {
        return;
    }
    const auto choice = questions_.askChoice(this, QStringLiteral("移入文件夹:"), names);
    if (choice && *choice >= 0 && std::size_t(*choice) < folders.size()) {
        Done(favourites_.MoveIntoFolder(*place, folders[std::size_t(*choice)]));
    }
}

void FavouritesWindow::MoveSelectedOutOfFolder() {
    if (const auto place = Selected()) {
        Done(favourites_.MoveOutOfFolder(*place));
    }
}

}  // namespace tessaly

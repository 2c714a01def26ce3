#include "history_window.h"

#include <QDate>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "button_column.h"

namespace tessaly {

namespace {

constexpr int WindowWidth = 560;
constexpr int WindowHeight = 380;

// clang-format off
const ButtonSpec Buttons[] = {
    {"open",   "打开"},
    {"remove", "删除"},
    {"clear",  "清除"},
};
// clang-format on

// The visit's index in the history; -1 on a day's row.
constexpr int VisitRole = Qt::UserRole;

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

HistoryWindow::HistoryWindow(History& history, QWidget* owner, Confirm confirm)
    : QWidget(owner, Qt::Tool),
      history_(history),
      confirm_(confirm ? std::move(confirm) : Confirm(ConfirmWithDialog)) {
    setWindowTitle(QStringLiteral("历史记录"));
    resize(WindowWidth, WindowHeight);

    search_ = new QLineEdit(this);
    search_->setObjectName(QStringLiteral("search"));
    search_->setPlaceholderText(QStringLiteral("搜索标题或地址"));
    search_->setClearButtonEnabled(true);

    tree_ = new QTreeWidget(this);
    tree_->setObjectName(QStringLiteral("tree"));
    tree_->setHeaderLabels(
        {QStringLiteral("时间"), QStringLiteral("标题"), QStringLiteral("地址")});
    tree_->setColumnWidth(0, 150);
    tree_->setColumnWidth(1, 160);
    tree_->setSelectionMode(QAbstractItemView::SingleSelection);

    auto* left = new QVBoxLayout;
    left->addWidget(search_);
    left->addWidget(tree_, 1);
    auto* column = new QVBoxLayout;
    buttons_ = AddButtonColumn(this, column, Buttons, [this](const QString& name) {
        if (name == QLatin1String("open")) {
            OpenSelected();
        } else if (name == QLatin1String("remove")) {
            RemoveSelected();
        } else {
            ClearAll();
        }
    });
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(column);

    connect(search_, &QLineEdit::textChanged, this, &HistoryWindow::Refresh);
    connect(tree_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        if (item->data(0, VisitRole).toInt() >= 0) {
            OpenSelected();
        }
    });
    connect(tree_, &QTreeWidget::itemSelectionChanged, this, &HistoryWindow::UpdateButtons);
    Refresh();
}

void HistoryWindow::Refresh() {
    const int selected = SelectedVisit();
    tree_->clear();
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    const auto& visits = history_.Visits();
    for (const HistoryDay& day :
         history_.GroupByLocalDay(history_.Search(search_->text().trimmed().toStdString()))) {
        const QDate date(day.year, day.month, day.day);
        auto* dayRow =
            new QTreeWidgetItem({chinese.toString(date, QStringLiteral("yyyy年M月d日 dddd"))});
        dayRow->setData(0, VisitRole, -1);
        dayRow->setFlags(Qt::ItemIsEnabled);
        tree_->addTopLevelItem(dayRow);
        dayRow->setExpanded(true);
        for (std::size_t index : day.visits) {
            const Visit& visit = visits[index];
            auto* row = new QTreeWidgetItem(
                {QDateTime::fromSecsSinceEpoch(visit.time).toString(QStringLiteral("HH:mm:ss")),
                 visit.title.empty() ? Text(visit.address) : Text(visit.title),
                 Text(visit.address)});
            row->setData(0, VisitRole, int(index));
            row->setToolTip(1, row->text(1));
            row->setToolTip(2, row->text(2));
            dayRow->addChild(row);
            if (int(index) == selected) {
                tree_->setCurrentItem(row);
            }
        }
    }
    UpdateButtons();
}

int HistoryWindow::SelectedVisit() const {
    const QList<QTreeWidgetItem*> selected = tree_->selectedItems();
    return selected.isEmpty() ? -1 : selected.first()->data(0, VisitRole).toInt();
}

void HistoryWindow::UpdateButtons() {
    const int visit = SelectedVisit();
    buttons_.value(QStringLiteral("open"))->setEnabled(visit >= 0);
    buttons_.value(QStringLiteral("remove"))->setEnabled(visit >= 0);
    buttons_.value(QStringLiteral("clear"))->setEnabled(!history_.Visits().empty());
}

void HistoryWindow::OpenSelected() {
    const int visit = SelectedVisit();
    if (visit >= 0 && std::size_t(visit) < history_.Visits().size()) {
        emit OpenAddress(Text(history_.Visits()[std::size_t(visit)].address));
    }
}

void HistoryWindow::RemoveSelected() {
    const int visit = SelectedVisit();
    if (visit < 0) {
        return;
    }
    history_.Remove(std::size_t(visit));
    // The indexes after it have moved: nothing stays selected.
    tree_->clearSelection();
    Refresh();
    emit Changed();
}

void HistoryWindow::ClearAll() {
    if (history_.Visits().empty() ||
        !confirm_(this, QStringLiteral("清除全部历史记录？此操作不能撤销。"))) {
        return;
    }
    history_.Clear();
    Refresh();
    emit Changed();
}

}  // namespace tessaly

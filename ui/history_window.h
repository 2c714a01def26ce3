#pragma once

#include <QHash>
#include <QWidget>
#include <functional>

#include "history.h"

class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace tessaly {

// "历史记录": the pages and cards shown, grouped by day, newest first, with
// a search field (title or address) and the buttons 打开, 删除 and 清除 (the
// last after a question). Double-click or Enter opens a visit. A tool window
// of the main window, not modal.
class HistoryWindow : public QWidget {
    Q_OBJECT

public:
    using Confirm = std::function<bool(QWidget* owner, const QString& question)>;

    HistoryWindow(History& history, QWidget* owner, Confirm confirm = nullptr);

    // Shows the history as the model holds it now, filtered by the search field.
    void Refresh();

    QTreeWidget* Tree() const { return tree_; }
    QLineEdit* SearchBox() const { return search_; }
    QPushButton* Button(const QString& name) const { return buttons_.value(name); }

    void OpenSelected();
    void RemoveSelected();
    void ClearAll();

signals:
    // The user opened a visit: the browser should go to `address`.
    void OpenAddress(const QString& address);
    // The history changed and should be saved.
    void Changed();

private:
    void UpdateButtons();
    // The visit selected, as an index of History::Visits(), or -1.
    int SelectedVisit() const;

    History& history_;
    Confirm confirm_;
    QLineEdit* search_;
    QTreeWidget* tree_;
    QHash<QString, QPushButton*> buttons_;
};

}  // namespace tessaly

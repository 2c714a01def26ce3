#pragma once

#include <QHash>
#include <QWidget>
#include <functional>
#include <optional>

#include "favourites.h"

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace tessaly {

// "收藏夹": the user's favourites as a tree of folders (one level deep) and
// entries, in the user's order, with the buttons 打开, 重命名, 删除, 上移,
// 下移, 新建文件夹, 移入文件夹 and 移出文件夹. Double-click or Enter opens an
// entry. A tool window of the main window, not modal.
class FavouritesWindow : public QWidget {
    Q_OBJECT

public:
    // How the window asks the user; the dialogs by default, stand-ins in tests.
    struct Questions {
        // A new name, or nothing when the user cancelled.
        std::function<std::optional<QString>(QWidget* owner, const QString& label,
                                             const QString& text)>
            askText;
        // One of `choices` by its index, or nothing.
        std::function<std::optional<int>(QWidget* owner, const QString& label,
                                         const QStringList& choices)>
            askChoice;
        std::function<bool(QWidget* owner, const QString& question)> confirm;
    };
    static Questions DialogQuestions();

    FavouritesWindow(Favourites& favourites, QWidget* owner,
                     Questions questions = DialogQuestions());

    // Shows the list as the model holds it now, keeping the selection.
    void Refresh();
    void Select(const FavouritePlace& place);
    std::optional<FavouritePlace> Selected() const;

    QTreeWidget* Tree() const { return tree_; }
    QPushButton* Button(const QString& name) const { return buttons_.value(name); }

    void OpenSelected();
    void RenameSelected();
    void RemoveSelected();
    void MoveSelectedUp();
    void MoveSelectedDown();
    void NewFolder();
    void MoveSelectedIntoFolder();
    void MoveSelectedOutOfFolder();

signals:
    // The user opened an entry: the browser should go to `address`.
    void OpenAddress(const QString& address);
    // The favourites changed and should be saved.
    void Changed();

private:
    void Click(const QString& name);
    void UpdateButtons();
    // Selects `place` after a change the model accepted, and reports it.
    void Done(const std::optional<FavouritePlace>& place);

    Favourites& favourites_;
    Questions questions_;
    QTreeWidget* tree_;
    QHash<QString, QPushButton*> buttons_;
};

}  // namespace tessaly

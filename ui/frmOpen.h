#pragma once

#include <QDialog>
#include <functional>
#include <utility>

#include "open_address.h"

class QComboBox;
class QCompleter;
class QStringListModel;

namespace tessaly {

// The Open dialog ("打开"): the user types an address or a file name, or
// picks one of the addresses typed before, or browses for a local page; the
// browser pane then navigates there.
class frmOpen : public QDialog {
    Q_OBJECT

public:
    using Navigate = std::function<void(const QString& url)>;
    // Asks the user for a local page; empty when none was chosen.
    using PickFile = std::function<QString(QWidget* owner)>;

    frmOpen(QWidget* owner, const QString& programFolder, Navigate navigate,
            PickFile pickFile = PickFileWithDialog);

    // Creates the window, runs its load, shows it modally over `owner` and
    // destroys it once it is closed.
    // Where the dialog finds the favourites and history it completes from
    // (newest first), besides the addresses typed before; none when unset.
    using KnownAddresses =
        std::function<std::pair<QList<AddressCandidate>, QList<AddressCandidate>>()>;

    static void ShowModal(QWidget* owner, const QString& programFolder, Navigate navigate,
                          KnownAddresses known = {});

    static QString PickFileWithDialog(QWidget* owner);

    // Read by Form_Load.
    void SetKnownAddresses(KnownAddresses known) { known_ = std::move(known); }
    // The most the completion list offers at once.
    static constexpr int MaxCompletions = 12;

    QCompleter* Completer() const { return completer_; }

    QComboBox* AddressBox() const { return address_; }
    void Form_Load();
    void qued_Click();
    void quxiao_Click();
    void liulan_Click();

private:
    TypedAddresses typed_;
    Navigate navigate_;
    PickFile pickFile_;
    QComboBox* address_;
    QCompleter* completer_;
    QStringListModel* completions_;
    QList<AddressCandidate> candidates_;
    KnownAddresses known_;
};

}  // namespace tessaly

#pragma once

#include <QHash>
#include <QString>
#include <functional>
#include <span>

class QPushButton;
class QVBoxLayout;
class QWidget;

namespace tessaly {

// A column of push buttons kept as data, for the favourites and history
// windows: each button's name, caption and what it does.
struct ButtonSpec {
    const char* name;
    const char* text;
};

// Creates the buttons of `specs` in a column, top to bottom, ending in a
// stretch; `click` runs with the button's name. The buttons by name.
QHash<QString, QPushButton*> AddButtonColumn(QWidget* window, QVBoxLayout* column,
                                             std::span<const ButtonSpec> specs,
                                             std::function<void(const QString& name)> click);

// Shows a window again: back from minimised, to the front, and active.
void BringBack(QWidget* window);

// Asks a yes-or-no question over `owner`.
bool ConfirmWithDialog(QWidget* owner, const QString& question);

}  // namespace tessaly

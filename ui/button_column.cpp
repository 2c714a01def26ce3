#include "button_column.h"

#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "skip_failing_steps.h"

namespace tessaly {

QHash<QString, QPushButton*> AddButtonColumn(QWidget* window, QVBoxLayout* column,
                                             std::span<const ButtonSpec> specs,
                                             std::function<void(const QString& name)> click) {
    QHash<QString, QPushButton*> buttons;
    for (const ButtonSpec& spec : specs) {
        const QString name = QString::fromLatin1(spec.name);
        auto* button = new QPushButton(QString::fromUtf8(spec.text), window);
        button->setObjectName(name);
        button->setAutoDefault(false);
        // Nothing a button does may end the program.
        QObject::connect(button, &QPushButton::clicked, window,
                         [click, name] { SkipIfFails([&] { click(name); }); });
        column->addWidget(button);
        buttons.insert(name, button);
    }
    column->addStretch(1);
    return buttons;
}

void BringBack(QWidget* window) {
    if (window->isMinimized()) {
        window->showNormal();
    } else {
        window->show();
    }
    window->raise();
    window->activateWindow();
}

bool ConfirmWithDialog(QWidget* owner, const QString& question) {
    return QMessageBox::question(owner, owner->windowTitle(), question,
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace tessaly

#include "page_dialogs.h"

#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace tessaly {

namespace {

constexpr qsizetype MaxShownCharacters = 2000;

QString Title(const QUrl& page) {
    const QString host = page.host();
    return host.isEmpty() ? QStringLiteral("网页消息") : QStringLiteral("%1 的消息").arg(host);
}

QString Shown(const QString& text) {
    return text.size() > MaxShownCharacters ? text.left(MaxShownCharacters) + QStringLiteral("…")
                                            : text;
}

QMessageBox* MessageBox(QWidget* parent, const QUrl& page, const QString& text) {
    auto* box = new QMessageBox(parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle(Title(page));
    box->setTextFormat(Qt::PlainText);
    box->setText(Shown(text));
    return box;
}

}  // namespace

void ShowPageAlert(QWidget* parent, const QUrl& page, const QString& text) {
    QMessageBox* box = MessageBox(parent, page, text);
    box->setIcon(QMessageBox::Information);
    box->addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    box->exec();
}

bool AskPageConfirm(QWidget* parent, const QUrl& page, const QString& text) {
    QMessageBox* box = MessageBox(parent, page, text);
    box->setIcon(QMessageBox::Question);
    QPushButton* ok = box->addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    box->addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    box->setDefaultButton(ok);
    box->setAttribute(Qt::WA_DeleteOnClose, false);
    box->exec();
    const bool accepted = box->clickedButton() == ok;
    delete box;
    return accepted;
}

std::optional<QString> AskPagePrompt(QWidget* parent, const QUrl& page, const QString& text,
                                     const QString& defaultText) {
    QInputDialog dialog(parent);
    dialog.setWindowTitle(Title(page));
    dialog.setLabelText(Shown(text));
    dialog.setTextValue(defaultText.left(MaxShownCharacters));
    dialog.setTextEchoMode(QLineEdit::Normal);
    dialog.setOkButtonText(QStringLiteral("确定"));
    dialog.setCancelButtonText(QStringLiteral("取消"));
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.textValue();
}

}  // namespace tessaly

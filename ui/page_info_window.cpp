#include "page_info_window.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

namespace tessaly {

QString PageInfoWindow::SizeText(qint64 bytes) {
    if (bytes < 0) {
        return QStringLiteral("未知");
    }
    const QLocale numbers(QLocale::English);  // digit groups with commas, as the rest of the window
    QString text = numbers.toString(bytes) + QStringLiteral(" 字节");
    if (bytes >= 1024) {
        text += QStringLiteral("（%1）").arg(
            numbers.formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat));
    }
    return text;
}

PageInfoWindow::PageInfoWindow(const PageFacts& facts, const std::optional<SentDocument>& sent,
                               QWidget* owner)
    : QDialog(owner) {
    setWindowTitle(QStringLiteral("页面信息"));
    setAttribute(Qt::WA_DeleteOnClose);

    const QString address = facts.address.toString();
    rows_.append({QStringLiteral("地址"), address});
    rows_.append(
        {QStringLiteral("标题"), facts.title.isEmpty() ? QStringLiteral("（无）") : facts.title});
    if (sent && !sent->contentType.isEmpty()) {
        rows_.append({QStringLiteral("内容类型"),
                      sent->contentType + QStringLiteral("（显示为 %1）").arg(facts.contentType)});
    } else {
        rows_.append({QStringLiteral("内容类型"), facts.contentType});
    }
    const QString encoding = sent && !sent->charset.isEmpty() ? sent->charset : facts.encoding;
    rows_.append({QStringLiteral("编码"), encoding.isEmpty() ? QStringLiteral("未知") : encoding});
    rows_.append(
        {QStringLiteral("大小"), SizeText(sent && sent->bytes >= 0 ? sent->bytes : facts.bytes)});
    const int cards = sent && sent->cards > 0 ? sent->cards : facts.cards;
    if (cards > 0) {
        rows_.append({QStringLiteral("卡片"),
                      QStringLiteral("共 %1 张，当前：%2")
                          .arg(cards)
                          .arg(facts.card.isEmpty() ? QStringLiteral("第一张") : facts.card)});
    }

    auto* form = new QFormLayout;
    for (const auto& [label, value] : rows_) {
        auto* shown = new QLabel(value);
        shown->setTextFormat(Qt::PlainText);
        shown->setTextInteractionFlags(Qt::TextSelectableByMouse);
        shown->setWordWrap(true);
        shown->setMinimumWidth(360);
        form->addRow(label + QStringLiteral("："), shown);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("关闭"));
    QPushButton* copy =
        buttons->addButton(QStringLiteral("复制地址"), QDialogButtonBox::ActionRole);
    connect(copy, &QPushButton::clicked, this,
            [address] { QGuiApplication::clipboard()->setText(address); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

}  // namespace tessaly

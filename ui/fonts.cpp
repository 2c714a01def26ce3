#include "fonts.h"

#include <QApplication>
#include <QFont>
#include <QStringList>

namespace tessaly {

void InstallProgramFonts() {
    const QString fallback = QStringLiteral("WenQuanYi Zen Hei");
    const QStringList ming{QStringLiteral("AR PL UMing CN"), fallback,
                           QStringLiteral("Noto Serif CJK SC")};
    const QStringList kai{QStringLiteral("AR PL UKai CN"), fallback,
                          QStringLiteral("AR PL UMing CN")};
    QFont::insertSubstitutions(QStringLiteral("宋体"), ming);
    QFont::insertSubstitutions(QStringLiteral("新宋体"), ming);
    QFont::insertSubstitutions(QStringLiteral("楷体_GB2312"), kai);
    QFont::insertSubstitutions(QStringLiteral("Tahoma"), {QStringLiteral("DejaVu Sans"), fallback});

    QFont defaultFont(QStringLiteral("宋体"));
    defaultFont.setPointSizeF(9);
    QApplication::setFont(defaultFont);
}

}  // namespace tessaly

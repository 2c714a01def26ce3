#include "pointers.h"

#include <QPixmap>

namespace tessaly {

QCursor ArrowPointer() {
    return QCursor(QPixmap(QStringLiteral(":/images/arrow.png")), 0, 0);
}

QCursor LinkPointer() {
    return QCursor(QPixmap(QStringLiteral(":/images/hand.png")), 10, 0);
}

QCursor SiteLinkPointer() {
    return QCursor(QPixmap(QStringLiteral(":/images/hand_site.png")), 10, 0);
}

}  // namespace tessaly

#include "rendered_decks.h"

#include <QByteArray>
#include <QUrl>

namespace tessaly::wap {

std::string DocumentAddress(std::string_view url) {
    const QUrl parsed =
        QUrl::fromEncoded(QByteArray(url.data(), static_cast<qsizetype>(url.size())));
    return parsed.adjusted(QUrl::RemoveFragment).toString(QUrl::FullyEncoded).toStdString();
}

void RenderedDecks::Add(std::string_view url) {
    const std::string documentUrl = DocumentAddress(url);
    std::lock_guard lock(mutex_);
    if (!urls_.insert(documentUrl).second) {
        return;
    }
    order_.push_back(documentUrl);
    if (order_.size() > MaxRemembered) {
        urls_.erase(order_.front());
        order_.pop_front();
    }
}

bool RenderedDecks::Contains(std::string_view url) const {
    const std::string documentUrl = DocumentAddress(url);
    std::lock_guard lock(mutex_);
    return urls_.count(documentUrl) != 0;
}

}  // namespace tessaly::wap

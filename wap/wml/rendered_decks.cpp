#include "rendered_decks.h"

#include <QByteArray>
#include <QUrl>
#include <algorithm>

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

namespace {

void Forget(std::deque<std::string>& order, const std::string& url) {
    const auto found = std::find(order.begin(), order.end(), url);
    if (found != order.end()) {
        order.erase(found);
    }
}

}  // namespace

void RenderedDecks::RecordDetails(std::string_view url, DocumentDetails details) {
    const std::string documentUrl = DocumentAddress(url);
    if (details.source.size() > MaxSourceBytes) {
        details.source.clear();
    }
    const bool hasSource = !details.source.empty();
    std::lock_guard lock(mutex_);
    if (details_.count(documentUrl) != 0) {
        Forget(detailsOrder_, documentUrl);
        Forget(sourcesOrder_, documentUrl);
    }
    details_[documentUrl] = std::move(details);
    detailsOrder_.push_back(documentUrl);
    if (hasSource) {
        sourcesOrder_.push_back(documentUrl);
    }
    if (detailsOrder_.size() > MaxDetails) {
        const std::string oldest = detailsOrder_.front();
        detailsOrder_.pop_front();
        details_.erase(oldest);
        Forget(sourcesOrder_, oldest);
    }
    if (sourcesOrder_.size() > MaxSources) {
        const auto found = details_.find(sourcesOrder_.front());
        if (found != details_.end()) {
            found->second.source = std::string();
        }
        sourcesOrder_.pop_front();
    }
}

std::optional<DocumentDetails> RenderedDecks::Details(std::string_view url) const {
    const std::string documentUrl = DocumentAddress(url);
    std::lock_guard lock(mutex_);
    const auto found = details_.find(documentUrl);
    if (found == details_.end()) {
        return std::nullopt;
    }
    return found->second;
}

}  // namespace tessaly::wap

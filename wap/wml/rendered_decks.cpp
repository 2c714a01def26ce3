#include "rendered_decks.h"

namespace tessaly::wap {

void RenderedDecks::Add(const std::string& documentUrl) {
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

bool RenderedDecks::Contains(const std::string& documentUrl) const {
    std::lock_guard lock(mutex_);
    return urls_.count(documentUrl) != 0;
}

}  // namespace tessaly::wap

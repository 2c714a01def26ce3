#include "connection_limits.h"

#include <algorithm>

namespace tessaly::wap {

std::size_t ConnectionLimits::ConnectionsFor(std::size_t descriptorLimit) {
    const std::size_t spare =
        descriptorLimit > ReservedDescriptors ? descriptorLimit - ReservedDescriptors : 0;
    return std::clamp(spare / DescriptorsPerConnection, FewestConnections, MostConnections);
}

ConnectionLimits::ConnectionLimits(std::size_t maxConnections, std::size_t maxUnverified)
    : maxConnections_(maxConnections),
      maxUnverified_(std::clamp<std::size_t>(maxConnections / 2, 1,
                                             std::max<std::size_t>(1, maxUnverified))) {}

std::unique_ptr<ConnectionLimits::Ticket> ConnectionLimits::Admit(Tcp::socket& socket) {
    if (unverified_.size() >= maxUnverified_) {
        // Closed now, its descriptor freed at once; its session ends later.
        Ticket& oldest = *unverified_.front();
        Dequeue(oldest);
        oldest.counted_ = false;
        --open_;
        beast::error_code ignored;
        oldest.socket_->close(ignored);
    }
    if (open_ >= maxConnections_) {
        return nullptr;
    }
    std::unique_ptr<Ticket> ticket(new Ticket(*this, socket));
    ++open_;
    ticket->queued_ = unverified_.insert(unverified_.end(), ticket.get());
    ticket->inQueue_ = true;
    return ticket;
}

void ConnectionLimits::Dequeue(Ticket& ticket) {
    if (ticket.inQueue_) {
        unverified_.erase(ticket.queued_);
        ticket.inQueue_ = false;
    }
}

void ConnectionLimits::Ticket::Verified() {
    limits_.Dequeue(*this);
}

ConnectionLimits::Ticket::~Ticket() {
    limits_.Dequeue(*this);
    if (counted_) {
        --limits_.open_;
    }
}

}  // namespace tessaly::wap

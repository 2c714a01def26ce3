#pragma once

#include <cstddef>
#include <list>
#include <memory>

#include "gateway_io.h"

namespace tessaly::wap {

// How many connections the gateway keeps open at once, so that no client
// (the engine, or any other process on the machine) can take the program's
// file descriptors or memory. A connection is "unverified" until it has sent
// a request with the run's proxy credential; those are few, and the oldest
// makes way for a new one, so the engine always gets in.
class ConnectionLimits {
public:
    // Descriptors one connection may hold: its socket, one to the site and
    // the two ends of a pipe for a download.
    static constexpr std::size_t DescriptorsPerConnection = 4;
    // Descriptors always left to the rest of the program (the engine's own
    // processes, files, the interface).
    static constexpr std::size_t ReservedDescriptors = 512;
    // Most connections whatever the descriptor limit; the engine opens at
    // most 32 to one proxy.
    static constexpr std::size_t MostConnections = 256;
    static constexpr std::size_t FewestConnections = 16;
    // Connections that have not shown the credential yet, at most; never more
    // than half of all, so the program always has room. Each holds at most
    // one request header (256 KB).
    static constexpr std::size_t MostUnverified = 64;

    // Bounds from the process's limit on open descriptors.
    static std::size_t ConnectionsFor(std::size_t descriptorLimit);

    explicit ConnectionLimits(std::size_t maxConnections,
                              std::size_t maxUnverified = MostUnverified);

    // One admitted connection; freed when destroyed.
    class Ticket {
    public:
        ~Ticket();
        Ticket(const Ticket&) = delete;
        Ticket& operator=(const Ticket&) = delete;
        // The connection has shown the credential.
        void Verified();

    private:
        friend class ConnectionLimits;
        Ticket(ConnectionLimits& limits, Tcp::socket& socket) : limits_(limits), socket_(&socket) {}
        ConnectionLimits& limits_;
        Tcp::socket* socket_;
        std::list<Ticket*>::iterator queued_;
        bool inQueue_ = false;
        bool counted_ = true;  // until it is closed to make way
    };

    // Admits the connection on `socket`, closing the oldest unverified one
    // when there are too many of those; null when all places are taken.
    std::unique_ptr<Ticket> Admit(Tcp::socket& socket);

    std::size_t Open() const { return open_; }
    std::size_t Unverified() const { return unverified_.size(); }
    std::size_t MaxConnections() const { return maxConnections_; }

private:
    void Dequeue(Ticket& ticket);

    std::size_t maxConnections_;
    std::size_t maxUnverified_;
    std::size_t open_ = 0;
    std::list<Ticket*> unverified_;  // oldest first
};

}  // namespace tessaly::wap

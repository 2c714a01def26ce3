#include "local_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <algorithm>
#include <cerrno>

#include "gateway_io.h"

namespace tessaly::wap {

namespace {

// Local files are served under this domain. It can never resolve, so
// nothing outside the program ever sees a request for it.
constexpr std::string_view LocalDomain = ".local.tessaly.invalid";

std::string Decoded(std::string_view text) {
    return QByteArray::fromPercentEncoding(
               QByteArray(text.data(), static_cast<qsizetype>(text.size())))
        .toStdString();
}

// A plain file name: nothing that could reach another folder.
bool IsPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\\\0", 3)) == std::string::npos;
}

std::string FolderOf(const std::string& path) {
    return path.substr(0, path.find_last_of('/'));
}

}  // namespace

bool LocalFiles::IsLocalHost(std::string_view host) {
    return host.size() > LocalDomain.size() && host.ends_with(LocalDomain);
}

std::string LocalFiles::Share(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || !IsPlainName(path.substr(slash + 1))) {
        return {};
    }
    std::string secret;
    {
        std::lock_guard lock(mutex_);
        if (const auto known = secretsByPath_.find(path); known != secretsByPath_.end()) {
            secret = known->second;
        } else if (pathsBySecret_.size() < MaxShared) {
            secret = RandomSecret();
            pathsBySecret_.emplace(secret, path);
            secretsByPath_.emplace(path, secret);
        } else {
            return {};
        }
    }
    const QByteArray name = QByteArray::fromStdString(path.substr(slash + 1)).toPercentEncoding();
    return "http://" + secret + std::string(LocalDomain) + "/" + name.toStdString();
}

std::optional<LocalFiles::Found> LocalFiles::Find(std::string_view host, std::string_view path) {
    if (!IsLocalHost(host)) {
        return std::nullopt;
    }
    std::string secret(host.substr(0, host.size() - LocalDomain.size()));
    std::transform(secret.begin(), secret.end(), secret.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const std::size_t queryAt = path.find('?');
    const std::string_view query = queryAt == std::string_view::npos ? "" : path.substr(queryAt);
    const std::string_view plainPath = path.substr(0, queryAt);
    if (!plainPath.starts_with('/')) {
        return std::nullopt;
    }
    const std::string name = Decoded(plainPath.substr(1));
    if (!IsPlainName(name)) {
        return std::nullopt;
    }
    std::string shared;
    {
        std::lock_guard lock(mutex_);
        const auto found = pathsBySecret_.find(secret);
        if (found == pathsBySecret_.end()) {
            return std::nullopt;
        }
        shared = found->second;
    }
    if (shared.substr(shared.find_last_of('/') + 1) == name) {
        return Found{shared, name, {}};
    }
    // A file beside the shared one gets an address (an origin) of its own,
    // so the page that named it can show it but never read it.
    const std::string neighbour = FolderOf(shared) + "/" + name;
    struct stat info {};
    if (::lstat(neighbour.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    std::string address = Share(neighbour);
    if (address.empty()) {
        return std::nullopt;
    }
    return Found{{}, name, address + std::string(query)};
}

ScriptFetcher ScriptsBeside(const std::string& path, const std::string& url) {
    const std::string folder = FolderOf(path);
    const std::string base = url.substr(0, url.find_last_of('/') + 1);
    return [folder, base](const std::string& address) -> std::optional<FetchedScript> {
        if (!address.starts_with(base)) {
            return std::nullopt;
        }
        const std::string name = Decoded(address.substr(base.size()));
        const std::string type = LocalContentType(name);
        if (!IsPlainName(name) || (type != WmlScriptSourceType && type != WmlScriptUnitType)) {
            return std::nullopt;
        }
        auto body = ReadRegularFile(folder + "/" + name, MaxScriptBytes);
        if (!body) {
            return std::nullopt;
        }
        return FetchedScript{std::move(*body), type};
    };
}

std::optional<std::string> ReadRegularFile(const std::string& path, std::size_t limit) {
    // Not blocking: opening a FIFO for reading would wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::optional<std::string> contents;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
        static_cast<std::uint64_t>(info.st_size) <= limit) {
        // One byte more than the size told: a file that grew meanwhile is
        // read up to the limit and refused beyond it.
        std::string body(static_cast<std::size_t>(info.st_size) + 1, '\0');
        std::size_t got = 0;
        bool failed = false;
        while (!failed) {
            if (got == body.size()) {
                if (body.size() > limit) {
                    failed = true;
                    break;
                }
                body.resize(std::min(limit + 1, body.size() * 2));
            }
            const ssize_t n = ::read(fd, body.data() + got, body.size() - got);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                failed = true;
            } else if (n == 0) {
                break;
            } else {
                got += static_cast<std::size_t>(n);
            }
        }
        if (!failed && got <= limit) {
            body.resize(got);
            contents = std::move(body);
        }
    }
    ::close(fd);
    return contents;
}

std::string LocalContentType(std::string_view name) {
    static const std::map<std::string, std::string, std::less<>> Types = {
        {"wml", "text/vnd.wap.wml"},
        {"wmlc", "application/vnd.wap.wmlc"},
        {"wbmp", "image/vnd.wap.wbmp"},
        {"xhtml", "application/vnd.wap.xhtml+xml"},
        {"html", "text/html"},
        {"htm", "text/html"},
        {"css", "text/css"},
        {"png", "image/png"},
        {"gif", "image/gif"},
        {"jpg", "image/jpeg"},
        {"jpeg", "image/jpeg"},
        {"wmls", "text/vnd.wap.wmlscript"},
        {"wmlsc", "application/vnd.wap.wmlscriptc"},
    };
    const std::size_t dot = name.rfind('.');
    std::string extension =
        dot == std::string_view::npos ? std::string() : std::string(name.substr(dot + 1));
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const auto found = Types.find(extension);
    return found == Types.end() ? "application/octet-stream" : found->second;
}

}  // namespace tessaly::wap

#include "gateway_route.h"

#include <QAuthenticator>
#include <QWebEnginePage>
#include <QWebEngineProfile>

namespace tessaly {

namespace {

// Kept as a child of the profile, so every page of it finds the credentials
// and they go when the profile does.
class GatewayCredentials : public QObject {
public:
    GatewayCredentials(QString user, QString password, QObject* parent)
        : QObject(parent), user(std::move(user)), password(std::move(password)) {}
    const QString user;
    const QString password;

    static GatewayCredentials* Of(const QObject* profile) {
        for (QObject* child : profile->children()) {
            if (auto* credentials = dynamic_cast<GatewayCredentials*>(child)) {
                return credentials;
            }
        }
        return nullptr;
    }
};

}  // namespace

void RouteBrowserThroughGateway(quint16 port) {
    // The application proxy of Qt Network would do for remote sites, but the
    // engine then sends loopback addresses straight past it and offers no way
    // to change that; its own switches do: "<-loopback>" removes the implicit
    // loopback bypass.
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!flags.isEmpty()) {
        flags += ' ';
    }
    flags += "--proxy-server=http://127.0.0.1:" + QByteArray::number(port) +
             " --proxy-bypass-list=<-loopback>";
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
}

void SetGatewayCredentials(QWebEngineProfile* profile, const QString& user,
                           const QString& password) {
    delete GatewayCredentials::Of(profile);
    new GatewayCredentials(user, password, profile);
}

void AnswerGatewayAuthentication(QWebEnginePage* page) {
    QObject::connect(page, &QWebEnginePage::proxyAuthenticationRequired, page,
                     [page](const QUrl&, QAuthenticator* authenticator, const QString& proxyHost) {
                         const auto* credentials = GatewayCredentials::Of(page->profile());
                         // Only the program's own gateway gets them.
                         if (credentials && proxyHost == QLatin1String("127.0.0.1")) {
                             authenticator->setUser(credentials->user);
                             authenticator->setPassword(credentials->password);
                         }
                     });
}

}  // namespace tessaly

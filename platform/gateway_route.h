#pragma once

#include <QString>

class QWebEnginePage;
class QWebEngineProfile;

namespace tessaly {

// Sends the browser engine's traffic, loopback sites included, through the
// HTTP proxy on 127.0.0.1:port. Must run before the first browser profile
// exists: the engine reads it once, when it starts.
void RouteBrowserThroughGateway(quint16 port);

// The credentials the gateway asks the pages of `profile` for.
void SetGatewayCredentials(QWebEngineProfile* profile, const QString& user,
                           const QString& password);

// Lets `page` answer the gateway's request for credentials. Every page the
// program creates calls it; a page of a profile without credentials answers
// nothing.
void AnswerGatewayAuthentication(QWebEnginePage* page);

}  // namespace tessaly

#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include "deck_reader.h"
#include "deck_text.h"
#include "wml_conversion.h"

namespace tessaly::wap {

// A fresh random nonce for one page's Content-Security-Policy.
QString NewNonce();

// The policy of every page made from a deck: only the script and style that
// carry the page's nonce run; images and forms may use web addresses.
QString ContentSecurityPolicy(const QString& nonce);

// The page that shows a deck: its cards, the runtime and its data. repairs
// lists the places the lenient reading changed, noted in small type.
QString WriteDeckPage(const ReadDeck& deck, const QString& charset, const QString& nonce,
                      const QList<TextPosition>& repairs, RuntimeDelivery runtime);

// The page shown for a deck that cannot be read: where and why, in Chinese,
// and the deck's source, escaped, below.
QString WriteErrorPage(const ReadDeck& failure, const QString& source, const QString& nonce);

}  // namespace tessaly::wap

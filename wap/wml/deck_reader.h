#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QUrl>

#include "script_units.h"

namespace tessaly::wap {

// What a deck turns into: its cards as escaped HTML, one section each, and
// the data the page's runtime needs (cards, tasks, access rules).
struct ReadDeck {
    bool ok = false;
    // Where reading stopped, when not ok (1-based).
    qint64 errorLine = 0;
    qint64 errorColumn = 0;
    QString errorMessage;

    QString title;      // the first card's title, for the page
    QString cardsHtml;  // <section class="wml-card"> per card
    int cards = 0;      // how many cards the deck has, when ok
    // The data handed to the runtime: a JSON object (cards, tasks, title,
    // access), written with '<', '>' and '&' escaped.
    QString dataMembers;
    QList<QPair<QString, QString>> metas;  // <meta name content> of the head
    // The head's <access>, when the deck has one: who may link to it.
    bool restricted = false;
    QString accessDomain;
    QString accessPath;
    // The WMLScript units the deck's tasks call, as absolute addresses (at
    // most MaxScriptUnits).
    QStringList scriptUnits;
    // Whether any task calls a script, by a known address or not.
    bool callsScripts = false;
};

// Reads a deck's text (already decoded; &nbsp; and &shy; already made
// numeric). Addresses in the deck are resolved against base.
ReadDeck ReadWmlDeck(const QString& text, const QUrl& base);

}  // namespace tessaly::wap

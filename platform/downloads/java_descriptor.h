#pragma once

#include <QByteArray>
#include <QUrl>
#include <optional>

#include "jad_details.h"

namespace tessaly {

// What a Java game's descriptor (.jad) says about its archive (.jar).
struct JavaDescriptor {
    QUrl jarUrl;                    // http or https only; empty when missing or of another kind
    QString jarAddress;             // MIDlet-Jar-URL as written, also when refused
    std::optional<qint64> jarSize;  // MIDlet-Jar-Size, when given as a plain number
};

// Reads a descriptor: text lines "Key: value" (UTF-8, a leading byte order
// mark and CR LF line ends allowed; keys are case-sensitive). The archive's
// address may be relative to descriptorUrl, the address the descriptor came
// from.
JavaDescriptor ParseJavaDescriptor(const QByteArray& text, const QUrl& descriptorUrl);

// A game's details as the save dialog shows them, one "label：value" a
// line, only the fields the descriptor gives; plain text, to be shown as
// text. Empty when it gives none.
QString GameDetailsText(const wap::JadDetails& details);

// Descriptors are a few hundred bytes; anything bigger than this is not one.
inline constexpr qint64 MaxJavaDescriptorBytes = 64 * 1024;

}  // namespace tessaly

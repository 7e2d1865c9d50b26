#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// File names as the system spells them. A name is any run of bytes; most are UTF-8 text, but a
// name written under another encoding (Latin-1 "f\xe9te.jpg") or cut in the middle of a
// character is not. Such a name is decoded without loss: each byte that is no part of a valid
// UTF-8 sequence becomes a lone code unit U+DC80..U+DCFF, which no valid UTF-8 text can decode
// to, and encoding gives the very bytes back. So two names that differ in their bytes never meet
// in one text, and every call made with the text acts on the file it came from. (The Qt file
// classes encode such a text lossily: they must never be handed one.)
namespace systemfiles {

QString decodeName(QByteArrayView bytes);
QByteArray encodeName(QStringView name);
// Whether `name` holds bytes that are no text.
bool hasUndecodedBytes(QStringView name);
// `name` for the eye: each byte that is no text shows as the replacement character U+FFFD.
QString displayName(const QString &name);

} // namespace systemfiles

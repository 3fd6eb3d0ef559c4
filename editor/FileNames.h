#pragma once

// A file name on Linux is bytes, not text. Qt's own conversion turns bytes
// that are not UTF-8 into U+FFFD, after which the file cannot be found
// again; these keep each such byte as a lone surrogate U+DC80..U+DCFF
// (which no UTF-8 name can hold), so a name comes back to its own bytes.

#include <QByteArray>
#include <QString>

#include <string>

namespace vantrel {

QString fileNameFromBytes(const QByteArray& bytes);
QByteArray fileNameBytes(const QString& name);
// The bytes of name, for the file calls that take a std::string.
std::string nativePath(const QString& name);
// For titles and alerts: each kept byte shown as its Latin-1 character, the
// likeliest meaning of a name from an older system.
QString readableFileName(const QString& name);

} // namespace vantrel

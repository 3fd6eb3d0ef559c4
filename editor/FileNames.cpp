#include "editor/FileNames.h"

namespace vantrel {
namespace {

constexpr char16_t EscapeBase = 0xDC00;

// A lone low surrogate in the kept range; the second half of a pair is a
// character of its own.
bool isKeptByte(const QString& name, qsizetype i)
{
    const char16_t c = name[i].unicode();
    return c >= EscapeBase + 0x80 && c <= EscapeBase + 0xFF &&
           !(i > 0 && name[i - 1].isHighSurrogate());
}

// The length of the well-formed UTF-8 sequence at bytes[at], 0 if none.
int sequenceLength(const QByteArray& bytes, qsizetype at)
{
    const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80)
        return 1;
    int length = 0;
    unsigned char low = 0x80, high = 0xBF; // range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0; // no overlong forms
        else if (lead == 0xED)
            high = 0x9F; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F; // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (at + length > bytes.size())
        return 0;
    if (byte(at + 1) < low || byte(at + 1) > high)
        return 0;
    for (int i = 2; i < length; ++i)
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF)
            return 0;
    return length;
}

} // namespace

QString fileNameFromBytes(const QByteArray& bytes)
{
    QString name;
    qsizetype start = 0; // of the well-formed run not yet converted
    qsizetype at = 0;
    while (at < bytes.size()) {
        const int length = sequenceLength(bytes, at);
        if (length > 0) {
            at += length;
            continue;
        }
        name += QString::fromUtf8(bytes.constData() + start, at - start);
        name += QChar(static_cast<char16_t>(EscapeBase + static_cast<unsigned char>(bytes[at])));
        start = ++at;
    }
    name += QString::fromUtf8(bytes.constData() + start, at - start);
    return name;
}

QByteArray fileNameBytes(const QString& name)
{
    QByteArray bytes;
    qsizetype start = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (!isKeptByte(name, i))
            continue;
        bytes += QStringView(name).mid(start, i - start).toUtf8();
        bytes += static_cast<char>(name[i].unicode() - EscapeBase);
        start = i + 1;
    }
    bytes += QStringView(name).mid(start).toUtf8();
    return bytes;
}

std::string nativePath(const QString& name)
{
    return fileNameBytes(name).toStdString();
}

QString readableFileName(const QString& name)
{
    QString readable = name;
    for (qsizetype i = 0; i < readable.size(); ++i)
        if (isKeptByte(name, i))
            readable[i] = QChar(static_cast<char16_t>(name[i].unicode() - EscapeBase));
    return readable;
}

} // namespace vantrel

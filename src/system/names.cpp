#include "names.h"

namespace systemfiles {

namespace {

    constexpr char16_t kEscapeBase = 0xDC00;
    constexpr char16_t kFirstEscape = 0xDC80;
    constexpr char16_t kLastEscape = 0xDCFF;

    // The length of the valid UTF-8 sequence at the start of `rest` and its code point; 0 when
    // the first byte starts none (a stray continuation, an overlong form, a surrogate, a value
    // past U+10FFFF, or a sequence cut short).
    int validSequence(const uchar *rest, qsizetype available, char32_t *codePoint)
    {
        const uchar lead = rest[0];
        int length = 0;
        char32_t value = 0;
        char32_t least = 0;
        if (lead < 0x80) {
            *codePoint = lead;
            return 1;
        }
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            value = lead & 0x1F;
            least = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            value = lead & 0x0F;
            least = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            value = lead & 0x07;
            least = 0x10000;
        } else {
            return 0;
        }
        if (available < length) {
            return 0;
        }
        for (int i = 1; i < length; ++i) {
            if ((rest[i] & 0xC0) != 0x80) {
                return 0;
            }
            value = value << 6 | (rest[i] & 0x3F);
        }
        if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
            return 0;
        }
        *codePoint = value;
        return length;
    }

    bool isEscape(char16_t unit)
    {
        return unit >= kFirstEscape && unit <= kLastEscape;
    }

} // namespace

QString decodeName(QByteArrayView bytes)
{
    const auto *data = reinterpret_cast<const uchar *>(bytes.data());
    const qsizetype size = bytes.size();
    QString result;
    result.reserve(size);
    for (qsizetype i = 0; i < size;) {
        char32_t codePoint = 0;
        const int length = validSequence(data + i, size - i, &codePoint);
        if (length == 0) {
            result.append(QChar(char16_t(kEscapeBase + data[i])));
            ++i;
            continue;
        }
        if (QChar::requiresSurrogates(codePoint)) {
            result.append(QChar(QChar::highSurrogate(codePoint)));
            result.append(QChar(QChar::lowSurrogate(codePoint)));
        } else {
            result.append(QChar(char16_t(codePoint)));
        }
        i += length;
    }
    return result;
}

QByteArray encodeName(QStringView name)
{
    QByteArray result;
    result.reserve(name.size());
    const qsizetype size = name.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = name[i].unicode();
        char32_t codePoint = unit;
        if (isEscape(unit)) {
            result.append(char(unit - kEscapeBase));
            continue;
        }
        if (QChar::isHighSurrogate(unit) && i + 1 < size && name[i + 1].isLowSurrogate()) {
            codePoint = QChar::surrogateToUcs4(unit, name[i + 1].unicode());
            ++i;
        } else if (QChar::isSurrogate(unit)) {
            // A lone half of a pair, which no name decodes to, stands for nothing.
            codePoint = QChar::ReplacementCharacter;
        }
        if (codePoint < 0x80) {
            result.append(char(codePoint));
        } else if (codePoint < 0x800) {
            result.append(char(0xC0 | codePoint >> 6));
            result.append(char(0x80 | (codePoint & 0x3F)));
        } else if (codePoint < 0x10000) {
            result.append(char(0xE0 | codePoint >> 12));
            result.append(char(0x80 | (codePoint >> 6 & 0x3F)));
            result.append(char(0x80 | (codePoint & 0x3F)));
        } else {
            result.append(char(0xF0 | codePoint >> 18));
            result.append(char(0x80 | (codePoint >> 12 & 0x3F)));
            result.append(char(0x80 | (codePoint >> 6 & 0x3F)));
            result.append(char(0x80 | (codePoint & 0x3F)));
        }
    }
    return result;
}

bool hasUndecodedBytes(QStringView name)
{
    for (const QChar c : name) {
        if (isEscape(c.unicode())) {
            return true;
        }
    }
    return false;
}

QString displayName(const QString &name)
{
    if (!hasUndecodedBytes(name)) {
        return name;
    }
    QString shown = name;
    for (QChar &c : shown) {
        if (isEscape(c.unicode())) {
            c = QChar(QChar::ReplacementCharacter);
        }
    }
    return shown;
}

} // namespace systemfiles

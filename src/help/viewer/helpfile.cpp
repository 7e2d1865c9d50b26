#include "help/viewer/helpfile.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextDocument>

namespace help {

namespace {

    // Far beyond any help file; it keeps a wrongly named huge file from being read whole.
    constexpr qint64 s_largestHelpFile = 32 * 1024 * 1024;

    QString notHelpText(const QString &path)
    {
        return QStringLiteral(
            "The file \"%1\" is not a help file: it does not hold help text (HTML).")
            .arg(QFileInfo(path).fileName());
    }

    QString decode(const QByteArray &bytes)
    {
        // The file may name its encoding in a <meta charset>; without one it is taken as UTF-8,
        // and a file that is not valid UTF-8 is most likely in the old single-byte encoding.
        QStringDecoder decoder = QStringDecoder::decoderForHtml(bytes);
        if (!decoder.isValid()) {
            decoder = QStringDecoder(QStringDecoder::Utf8);
        }
        QString text = decoder.decode(bytes);
        if (decoder.hasError()) {
            text = QString::fromLatin1(bytes);
        }
        return text;
    }

    // Whether decoded text is markup rather than a binary file or plain text that happens to have
    // been given the help file's name.
    bool looksLikeHtml(const QString &text)
    {
        for (const QChar c : text) {
            if (c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r' && c != u'\f') {
                return false;
            }
        }
        QStringView start = QStringView(text).trimmed();
        if (start.startsWith(QChar(0xfeff))) {
            start = start.mid(1).trimmed();
        }
        return start.startsWith(u'<');
    }

    template<typename Visit> void forEachAnchor(const QTextDocument &document, Visit visit)
    {
        for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QStringList names = it.fragment().charFormat().anchorNames();
                for (const QString &name : names) {
                    if (!visit(block, name)) {
                        return;
                    }
                }
            }
        }
    }

} // namespace

HelpFile readHelpFile(const QString &path)
{
    HelpFile result;
    const QFileInfo info(path);
    if (!info.exists()) {
        result.problem = QStringLiteral("The help file \"%1\" cannot be found.").arg(path);
        return result;
    }
    if (info.isDir()) {
        result.problem
            = QStringLiteral("\"%1\" is a folder, not a help file. It cannot be shown.").arg(path);
        return result;
    }
    if (info.size() > s_largestHelpFile) {
        result.problem = notHelpText(path);
        return result;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.problem = QStringLiteral("The help file \"%1\" cannot be read: %2.")
                             .arg(path, file.errorString());
        return result;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        result.problem = QStringLiteral("The help file \"%1\" cannot be read: %2.")
                             .arg(path, file.errorString());
        return result;
    }
    const QString text = decode(bytes);
    if (!looksLikeHtml(text)) {
        result.problem = notHelpText(path);
        return result;
    }
    result.html = text;
    return result;
}

QString anchorForKeyword(const QTextDocument &document, const QString &keyword)
{
    QString found;
    forEachAnchor(document, [&](const QTextBlock &, const QString &name) {
        if (name.compare(keyword, Qt::CaseInsensitive) == 0) {
            found = name;
            return false;
        }
        return true;
    });
    return found;
}

QStringList keywords(const QTextDocument &document)
{
    QStringList names;
    forEachAnchor(document, [&](const QTextBlock &, const QString &name) {
        names.append(name);
        return true;
    });
    return names;
}

QString topicText(const QTextDocument &document, const QString &keyword)
{
    QTextBlock anchorBlock;
    forEachAnchor(document, [&](const QTextBlock &block, const QString &name) {
        if (name.compare(keyword, Qt::CaseInsensitive) == 0) {
            anchorBlock = block;
            return false;
        }
        return true;
    });
    if (!anchorBlock.isValid()) {
        return QString();
    }
    // A keyword in a sub-heading belongs to the topic whose heading comes before it.
    QTextBlock block = anchorBlock;
    while (block.isValid() && block.blockFormat().headingLevel() != 1) {
        block = block.previous();
    }
    if (!block.isValid()) {
        block = anchorBlock;
    }
    QStringList lines { block.text() };
    for (block = block.next(); block.isValid() && block.blockFormat().headingLevel() != 1;
         block = block.next()) {
        lines.append(block.text());
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace help

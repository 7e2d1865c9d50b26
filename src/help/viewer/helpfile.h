#pragma once

#include <QString>
#include <QStringList>

class QTextBlock;
class QTextDocument;

// A help file is HTML, whatever its name ends in. It is divided into topics:
//
//   <h1><a name="CONTENTS"></a><a name="OVERVIEW"></a>Title of the topic</h1>
//
// A topic starts at a level-1 heading and runs to the next one. Each `<a name>` anchor in the
// heading is a keyword the topic answers to. An anchor elsewhere (in an `<h2>`, say) is a
// keyword too; it leads to that place inside its topic. Keywords are matched without regard to
// case, as users and callers type them either way.
namespace help {

// The text of a help file, or why it cannot be shown.
struct HelpFile
{
    QString html;
    // A message for the user; empty when `html` holds the file.
    QString problem;

    bool isValid() const { return problem.isEmpty(); }
};

// Reads the help file at `path`. A missing file, a folder, a file that cannot be read and a
// file that does not hold HTML (a binary file, plain text) each give their own problem.
HelpFile readHelpFile(const QString &path);

// The anchor as the file spells it for `keyword`; empty when nothing in `document` declares it.
QString anchorForKeyword(const QTextDocument &document, const QString &keyword);

// Every keyword `document` declares, in document order.
QStringList keywords(const QTextDocument &document);

// The plain text of the topic that holds the anchor for `keyword`, from its heading to the
// next topic's; empty when no topic declares it.
QString topicText(const QTextDocument &document, const QString &keyword);

} // namespace help

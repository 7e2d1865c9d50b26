#pragma once

#include <QTextBrowser>
#include <QUrl>

// A text browser that shows a help file the viewer has already read and checked. It keeps the
// browser's own navigation (internal links, Back, Forward) working on that text, which it
// would lose if the text were just set, and it never reads the file a second time.
class HelpBrowser : public QTextBrowser
{
    Q_OBJECT
public:
    explicit HelpBrowser(QWidget *parent = nullptr);

    // Shows `html` as the document found at `url`, from its start.
    void showDocument(const QUrl &url, const QString &html);

    QVariant loadResource(int type, const QUrl &name) override;

private:
    QUrl m_url;
    QString m_html;
};

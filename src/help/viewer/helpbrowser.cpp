#include "help/viewer/helpbrowser.h"

#include <QTextDocument>

HelpBrowser::HelpBrowser(QWidget *parent)
    : QTextBrowser(parent)
{
    // Links out of the help (a web page, say) belong in the desktop's own browser.
    setOpenExternalLinks(true);
}

void HelpBrowser::showDocument(const QUrl &url, const QString &html)
{
    m_url = url.adjusted(QUrl::RemoveFragment);
    m_html = html;
    setSource(m_url, QTextDocument::HtmlResource);
    // Text running into the window's edge is hard to read; the file cannot set this itself.
    document()->setDocumentMargin(14);
}

QVariant HelpBrowser::loadResource(int type, const QUrl &name)
{
    if (type == QTextDocument::HtmlResource && name.adjusted(QUrl::RemoveFragment) == m_url) {
        return m_html;
    }
    return QTextBrowser::loadResource(type, name);
}

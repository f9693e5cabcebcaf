#include "creditlabel.h"

#include "inspectorform.h"

#include <QResizeEvent>

CreditLabel::CreditLabel(QWidget *parent) : QLabel(parent)
{
    setFont(InspectorSection::smallFont(font()));
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setOpenExternalLinks(true);
}

void CreditLabel::setCredit(const QString &text, const QUrl &link)
{
    m_credit = text;
    m_link = link;
    setToolTip(text);
    if (isLink()) {
        setTextFormat(Qt::RichText);
        setTextInteractionFlags(Qt::TextBrowserInteraction);
        setForegroundRole(QPalette::WindowText);
    } else {
        setTextFormat(Qt::PlainText);
        setTextInteractionFlags(Qt::NoTextInteraction);
        InspectorSection::makeSecondary(this);
    }
    relayout();
}

QUrl CreditLabel::parseLink(const QString &text)
{
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    // Only web pages: the address comes from a search reply, and a file: or custom-scheme
    // link would hand whatever it names to the desktop's opener.
    const QString scheme = url.scheme().toLower();
    if (text.trimmed().isEmpty() || !url.isValid() ||
        (scheme != QLatin1String("https") && scheme != QLatin1String("http")))
        return {};
    return url;
}

void CreditLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    if (event->size().width() != event->oldSize().width())
        relayout();
}

void CreditLabel::relayout()
{
    // Elided before escaping, so the ellipsis never cuts an entity in half.
    const int width = contentsRect().width();
    const QString shown =
        width > 0 ? fontMetrics().elidedText(m_credit, Qt::ElideRight, width) : m_credit;
    if (isLink()) {
        const QString href = QString::fromUtf8(m_link.toEncoded()).toHtmlEscaped();
        setText(QStringLiteral("<a href=\"%1\">%2</a>").arg(href, shown.toHtmlEscaped()));
    } else {
        setText(shown);
    }
}

#pragma once

// The picture's credit line in the effect section. Its text and link come from the picture's
// source, so the link is checked strictly and text of any length is kept within the narrow
// column; that care lives here rather than in the section.

#include <QLabel>
#include <QUrl>

// The credit line of a picture in small print: a link when there is somewhere to go, plain
// secondary text otherwise. It takes the width it is given and elides what does not fit, so a
// long credit never widens its column; the whole line is in the tool tip.
class CreditLabel : public QLabel
{
    Q_OBJECT

public:
    explicit CreditLabel(QWidget *parent = nullptr);

    // `link` empty (or invalid) shows plain text.
    void setCredit(const QString &text, const QUrl &link);
    QString credit() const { return m_credit; }
    QUrl link() const { return m_link; }
    bool isLink() const { return m_link.isValid() && !m_link.isEmpty(); }

    // A credit URL is a link only when it parses strictly and names a scheme to open it with.
    static QUrl parseLink(const QString &text);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void relayout();

    QString m_credit;
    QUrl m_link;
};

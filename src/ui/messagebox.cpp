#include "messagebox.h"

#include "icons.h"

#include <QEvent>
#include <QMessageBox>
#include <QStyle>

namespace {

// Draws the pictogram anew when the palette changes: the box holds a pixmap, not the icon.
class MessageIcon : public QObject
{
public:
    MessageIcon(QMessageBox *box, QIcon icon) : QObject(box), m_icon(std::move(icon))
    {
        box->installEventFilter(this);
        show(box);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::PaletteChange)
            show(static_cast<QMessageBox *>(watched));
        return false;
    }

private:
    void show(QMessageBox *box) const
    {
        const int size = box->style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, box);
        box->setIconPixmap(m_icon.pixmap(QSize(size, size), box->devicePixelRatioF()));
    }

    QIcon m_icon;
};

} // namespace

void setMessageIcon(QMessageBox *box, MessageKind kind)
{
    box->setIcon(QMessageBox::NoIcon);
    const char *names[] = {"dialog-warning", "dialog-question", "dialog-information"};
    const QIcon symbolic = symbolicIcon(QLatin1String(names[static_cast<int>(kind)]));
    if (!symbolic.isNull())
        new MessageIcon(box, symbolic);
}

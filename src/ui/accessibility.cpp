#include "accessibility.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QComboBox>

#include <algorithm>

namespace {

// A new text of a chooser is announced as a change of its text, as a screen reader hears a
// field change. (A value the window sets with the chooser's signals blocked is told by Qt's own
// value-change event alone.)
class ChoiceEcho : public QObject
{
    Q_OBJECT

public:
    static void attachTo(QComboBox *combo)
    {
        if (!combo->findChild<ChoiceEcho *>(QString(), Qt::FindDirectChildrenOnly))
            new ChoiceEcho(combo);
    }

private:
    explicit ChoiceEcho(QComboBox *combo)
        : QObject(combo), m_combo(combo), m_text(combo->currentText())
    {
        connect(combo, &QComboBox::currentTextChanged, this, &ChoiceEcho::announce);
    }

    void announce(const QString &text)
    {
        if (text == m_text)
            return;
        QAccessibleTextUpdateEvent event(m_combo, 0, m_text, text);
        m_text = text;
        QAccessible::updateAccessibility(&event);
    }

    QComboBox *m_combo;
    QString m_text;
};

class LabelledComboBox : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    explicit LabelledComboBox(QComboBox *combo) : QAccessibleWidget(combo, QAccessible::ComboBox)
    {
        ChoiceEcho::attachTo(combo);
    }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return combo()->currentText();
        // The widget's own name, else its label's (without the mnemonic's &).
        return QAccessibleWidget::text(t);
    }

    // The open list is its one child, so a screen reader can walk the choices.
    int childCount() const override { return 1; }
    QAccessibleInterface *child(int index) const override
    {
        return index == 0 ? QAccessible::queryAccessibleInterface(combo()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return child && child->object() == combo()->view() ? 0 : -1;
    }

    QStringList actionNames() const override
    {
        return QStringList{showMenuAction(), pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString &action) override
    {
        if (action == showMenuAction() || action == pressAction())
            combo()->showPopup();
        else
            QAccessibleWidget::doAction(action);
    }

    // Its text is the chosen item's, read-only, as the closed chooser shows it (whole, where the
    // picker may shorten it on screen).
    QString text(int startOffset, int endOffset) const override
    {
        const QString shown = combo()->currentText();
        if (endOffset < 0 || endOffset > shown.size())
            endOffset = int(shown.size());
        startOffset = std::clamp(startOffset, 0, endOffset);
        return shown.mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return int(combo()->currentText().size()); }
    void selection(int, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = 0;
    }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint &) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int *startOffset, int *endOffset) const override
    {
        *startOffset = 0;
        *endOffset = characterCount();
        return {};
    }

private:
    QComboBox *combo() const { return static_cast<QComboBox *>(object()); }
};

QAccessibleInterface *factory(const QString &className, QObject *object)
{
    if (className == QLatin1String("QComboBox") && object && object->isWidgetType())
        if (auto *combo = qobject_cast<QComboBox *>(object); combo && !combo->isEditable())
            return new LabelledComboBox(combo);
    return nullptr;
}

} // namespace

void installAccessibility()
{
    // Factories installed last are asked first; installing once keeps Qt's list short.
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    Q_UNUSED(installed);
}

#include "accessibility.moc"

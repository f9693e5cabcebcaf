#include "accessibility.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QPointer>

#include <algorithm>

namespace {

// The combo box whose list `object` is, if it is one. (Not by asking the combo box for its list:
// that makes one while the first is still being put together.)
QComboBox *comboOfList(QObject *object)
{
    auto *list = qobject_cast<QAbstractItemView *>(object);
    QObject *popup = list ? list->parent() : nullptr;
    return popup && popup->inherits("QComboBoxPrivateContainer")
               ? qobject_cast<QComboBox *>(popup->parent())
               : nullptr;
}

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

// One entry of a chooser's list, selected while it is the chooser's current entry. (Qt's own
// entries are selected as the list's selection is: as the list was last open — on the entry a
// hover or an arrow key left, which Escape does not undo — and never told of a choice the window
// makes with the chooser's signals blocked.)
class ChoiceItem : public QAccessibleInterface
{
public:
    ChoiceItem(QComboBox *combo, const QModelIndex &index) : m_combo(combo), m_index(index) {}

    bool isValid() const override { return m_combo && m_index.isValid(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override
    {
        return m_combo ? m_combo->view()->window()->windowHandle() : nullptr;
    }
    QAccessibleInterface *parent() const override
    {
        return m_combo ? QAccessible::queryAccessibleInterface(m_combo->view()) : nullptr;
    }
    QAccessibleInterface *child(int) const override { return nullptr; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessible::Role role() const override { return QAccessible::ListItem; }

    QString text(QAccessible::Text t) const override
    {
        if (!isValid() || t != QAccessible::Name)
            return {};
        const QString accessible = m_index.data(Qt::AccessibleTextRole).toString();
        return accessible.isEmpty() ? m_index.data(Qt::DisplayRole).toString() : accessible;
    }
    void setText(QAccessible::Text, const QString &) override {}

    QRect rect() const override
    {
        if (!isValid() || !m_combo->view()->isVisible())
            return {};
        const QWidget *viewport = m_combo->view()->viewport();
        const QRect local = m_combo->view()->visualRect(m_index);
        return {viewport->mapToGlobal(local.topLeft()), local.size()};
    }

    QAccessible::State state() const override
    {
        QAccessible::State state;
        if (!isValid())
            return state;
        const QAbstractItemView *list = m_combo->view();
        state.invisible = !list->isVisible();
        state.disabled = !(m_index.flags() & Qt::ItemIsEnabled);
        state.selectable = state.focusable = true;
        state.selected = m_index == QModelIndex(m_combo->model()->index(m_combo->currentIndex(),
                                                                        m_combo->modelColumn(),
                                                                        m_combo->rootModelIndex()));
        state.focused = list->hasFocus() && list->currentIndex() == m_index;
        return state;
    }

    QModelIndex index() const { return m_index; }

private:
    QPointer<QComboBox> m_combo;
    QPersistentModelIndex m_index;
};

// A chooser's list, open or closed, with one item per entry.
class ChoiceList : public QAccessibleWidget
{
public:
    ChoiceList(QAbstractItemView *list, QComboBox *combo)
        : QAccessibleWidget(list, QAccessible::List), m_combo(combo)
    {
    }
    ~ChoiceList() override
    {
        for (const auto &item : std::as_const(m_items))
            QAccessible::deleteAccessibleInterface(item.second);
    }

    // Its chooser, not the pop-up it opens in: from an entry a screen reader finds the chooser.
    QAccessibleInterface *parent() const override
    {
        return m_combo ? QAccessible::queryAccessibleInterface(m_combo) : nullptr;
    }
    int childCount() const override { return m_combo ? m_combo->count() : 0; }
    QAccessibleInterface *child(int index) const override
    {
        if (!m_combo || index < 0 || index >= m_combo->count())
            return nullptr;
        return item(
            m_combo->model()->index(index, m_combo->modelColumn(), m_combo->rootModelIndex()));
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        for (const auto &item : m_items)
            if (QAccessible::accessibleInterface(item.second) == child)
                return static_cast<const ChoiceItem *>(child)->index().row();
        return -1;
    }
    QAccessibleInterface *childAt(int x, int y) const override
    {
        const auto *list = static_cast<QAbstractItemView *>(widget());
        return item(list->indexAt(list->viewport()->mapFromGlobal(QPoint(x, y))));
    }

private:
    // An entry keeps its interface, and so its path on the bus, while it stays in the list.
    QAccessibleInterface *item(const QModelIndex &index) const
    {
        if (!index.isValid())
            return nullptr;
        for (auto it = m_items.begin(); it != m_items.end();) {
            if (!it->first.isValid()) {
                QAccessible::deleteAccessibleInterface(it->second);
                it = m_items.erase(it);
            } else if (it->first == index) {
                return QAccessible::accessibleInterface(it->second);
            } else {
                ++it;
            }
        }
        auto *created = new ChoiceItem(m_combo, index);
        m_items.append(
            {QPersistentModelIndex(index), QAccessible::registerAccessibleInterface(created)});
        return created;
    }

    QPointer<QComboBox> m_combo;
    mutable QList<std::pair<QPersistentModelIndex, QAccessible::Id>> m_items;
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
    if (QComboBox *combo = comboOfList(object))
        return new ChoiceList(static_cast<QAbstractItemView *>(object), combo);
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

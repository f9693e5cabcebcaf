#pragma once

// The layout every inspector section shares — a header, a label column, a control column — and
// the small print used across the window, so the sections and the settings window line up and
// read alike without each repeating it.

#include <QWidget>

class QLabel;
class QVBoxLayout;

// One group of the inspector's form: a small bold header over rows of "label left, control
// right". Every row is a widget of its own, so a row is hidden or shown as one piece.
class InspectorSection : public QWidget
{
    Q_OBJECT

public:
    // Width of the label column, the same in every section so the controls line up.
    static constexpr int kLabelWidth = 104;

    explicit InspectorSection(const QString &title, QWidget *parent = nullptr);

    // A row with `label` in the label column (left empty for an empty label) and `control`
    // filling the rest. The row widget is returned for hiding and naming.
    QWidget *addRow(const QString &label, QWidget *control);
    // A row across the whole width.
    QWidget *addWideRow(QWidget *content);

    // The font of credit lines, size figures and other small print.
    static QFont smallFont(const QFont &base);
    // Greys a label's text the way secondary text is shown everywhere in the window.
    static void makeSecondary(QLabel *label);

private:
    QVBoxLayout *m_rows;
};

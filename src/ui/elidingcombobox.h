#pragma once

// The album and size pickers of the inspector offer names longer than its narrow column, and what
// tells them apart is often at the end — a preset's pixel size. This picker shortens the closed
// text so that part stays in view; the open list shows every name whole.

#include <QComboBox>

// A pop-up picker for entries longer than the narrow inspector column: the closed picker
// shortens its text in the middle, so the start of a name and the size at its end both stay
// readable; the open list shows every entry in full.
class ElidingComboBox : public QComboBox
{
    Q_OBJECT

public:
    using QComboBox::QComboBox;

    // `text` as the closed picker shows it in `width` pixels.
    QString elided(const QString &text, int width) const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void showPopup() override;
};

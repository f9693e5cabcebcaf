#pragma once

// How the model's status messages ("Exportiert: …") reach the person: a capsule over the preview
// that comes and goes by itself. A widget of its own for its animation; the pane only places it.

#include <QWidget>

class AppModel;
class QGraphicsOpacityEffect;
class QLabel;
class IconLabel;
class QParallelAnimationGroup;

// A confirmation at the bottom centre of the preview. It slides in from below while fading in
// when the model has a status message and slides out the same way when the message is cleared.
// A message that arrives while it slides out brings it back. It takes no input; the model
// clears the message after its own delay.
class StatusCapsule : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kBottomMargin = 22;
    static constexpr int kAnimationMs = 300;

    explicit StatusCapsule(AppModel *model, QWidget *parent);

    // Where the capsule rests in its parent; the pane calls this when it is resized.
    void place();
    // True from the moment a message arrives until the capsule has slid out again.
    bool isPresented() const { return m_presented; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void follow();
    QPoint restingPos() const;
    void animate(bool in);

    AppModel *m_model;
    IconLabel *m_symbol;
    QLabel *m_text;
    QGraphicsOpacityEffect *m_opacity;
    QParallelAnimationGroup *m_animation;
    bool m_presented = false;
    // Sliding out; a message arriving now turns it round.
    bool m_leaving = false;
};

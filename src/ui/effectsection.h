#pragma once

// How the picture is turned into a wallpaper, edited: the one inspector section whose rows change
// with the style, so it keeps a table of which row belongs to which style. displayColor() lives
// here because the colour wells and their dialog are this section's.

#include "inspectorform.h"
#include "model/valuetypes.h"

#include <QColor>
#include <QList>

class AppModel;
class ColorWell;
class CreditLabel;
class DoubleSlider;
class QAbstractButton;
class QButtonGroup;
class QComboBox;
class QPushButton;
struct Look;

// The inspector's section "Effekt": the style picker, the controls of the style the edited look
// has, the reset button and the picture's credit line. It reads every value from the model
// when the model says it changed and writes every change straight back.
class EffectSection : public InspectorSection
{
    Q_OBJECT

public:
    explicit EffectSection(AppModel *model, QWidget *parent = nullptr);

private:
    struct SliderRow
    {
        double Look::*field;
        DoubleSlider *slider;
        QWidget *row;
        QList<WallpaperStyle> styles;
    };
    struct StyleRow
    {
        QWidget *row;
        QList<WallpaperStyle> styles;
    };

    void addSlider(const char *name, const QString &label, double Look::*field, double minimum,
                   double maximum, const QList<WallpaperStyle> &styles);
    void addStyleRow(QWidget *row, const QList<WallpaperStyle> &styles);
    QWidget *makeBandsControl();
    QWidget *makeWells();
    QWidget *makeFooter();
    void chooseColor(int index);

    void sync();
    void showStyle(WallpaperStyle style);

    AppModel *m_model;
    QComboBox *m_stylePicker = nullptr;
    QList<SliderRow> m_sliders;
    QList<StyleRow> m_styleRows;
    std::optional<WallpaperStyle> m_shownStyle;
    QButtonGroup *m_bands = nullptr;
    QAbstractButton *m_bandsTwo = nullptr;
    QAbstractButton *m_bandsThree = nullptr;
    QList<ColorWell *> m_wells;
    QPushButton *m_paletteFromPhoto = nullptr;
    QPushButton *m_reset = nullptr;
    CreditLabel *m_attribution = nullptr;
};

// The colour a well shows and a colour dialog starts from: the look's colour as the renderers
// take it, in sRGB clipped to what a screen can show.
QColor displayColor(const QColor &lookColor);

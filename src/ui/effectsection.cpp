#include "effectsection.h"

#include "colorwell.h"
#include "creditlabel.h"
#include "doubleslider.h"
#include "icons.h"
#include "model/appmodel.h"

#include <QButtonGroup>
#include <QColorDialog>
#include <QComboBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>

namespace {

const QList<WallpaperStyle> kAllStyles{WallpaperStyle::Blur, WallpaperStyle::Flow,
                                       WallpaperStyle::Mirror};

QColor Look::*const kColorFields[] = {&Look::flowColor0, &Look::flowColor1, &Look::flowColor2};

} // namespace

QColor displayColor(const QColor &lookColor)
{
    const RenderColor c = asCIColor(lookColor);
    return QColor::fromRgbF(float(qBound(0.0, c.red, 1.0)), float(qBound(0.0, c.green, 1.0)),
                            float(qBound(0.0, c.blue, 1.0)));
}

EffectSection::EffectSection(AppModel *model, QWidget *parent)
    : InspectorSection(QStringLiteral("Effekt"), parent), m_model(model)
{
    using S = WallpaperStyle;

    m_stylePicker = new QComboBox;
    m_stylePicker->setObjectName(QStringLiteral("stylePicker"));
    m_stylePicker->setAccessibleDescription(QStringLiteral("Wie aus dem Foto ein Wallpaper wird"));
    for (const WallpaperStyle style : allCases<WallpaperStyle>())
        m_stylePicker->addItem(label(style), rawValue(style));
    connect(m_stylePicker, &QComboBox::activated, this, [this](int index) {
        if (const auto style =
                fromRawValue<WallpaperStyle>(m_stylePicker->itemData(index).toString()))
            m_model->bind(&Look::style).setValue(*style);
    });
    addRow(QStringLiteral("Stil"), m_stylePicker);

    // One control per field, shown for the styles that use it, so a shared field (Blur,
    // Körnung) is one slider and the order of rows is the same for every style.
    addSlider("blur", QStringLiteral("Blur"), &Look::blur, 0, 100, {S::Blur, S::Mirror});
    addSlider("brightness", QStringLiteral("Helligkeit"), &Look::brightness, -0.3, 0.3, {S::Blur});
    addSlider("saturation", QStringLiteral("Sättigung"), &Look::saturation, 0, 2, {S::Blur});
    addSlider("contrast", QStringLiteral("Kontrast"), &Look::contrast, 0.8, 1.3, {S::Blur});

    addStyleRow(addRow(QStringLiteral("Farben"), makeBandsControl()), {S::Flow});
    addStyleRow(addRow(QString(), makeWells()), {S::Flow});
    m_paletteFromPhoto = new QPushButton(icon(Icon::ColorPicker), QStringLiteral("Aus Foto"));
    m_paletteFromPhoto->setObjectName(QStringLiteral("paletteFromPhotoButton"));
    m_paletteFromPhoto->setAccessibleDescription(
        QStringLiteral("Die Farben wieder aus dem Foto nehmen"));
    connect(m_paletteFromPhoto, &QPushButton::clicked, this,
            [this] { m_model->reloadPaletteFromPhoto(); });
    auto *paletteRow = new QWidget;
    auto *paletteLayout = new QHBoxLayout(paletteRow);
    paletteLayout->setContentsMargins(0, 0, 0, 0);
    paletteLayout->addWidget(m_paletteFromPhoto);
    paletteLayout->addStretch();
    addStyleRow(addRow(QString(), paletteRow), {S::Flow});
    addSlider("flowAmplitude", QStringLiteral("Amplitude"), &Look::flowAmplitude, 0, 0.25,
              {S::Flow});
    addSlider("flowFrequency", QStringLiteral("Frequenz"), &Look::flowFrequency, 0.3, 3.0,
              {S::Flow});
    addSlider("flowSharpness", QStringLiteral("Kantenschärfe"), &Look::flowSharpness, 0, 1,
              {S::Flow});
    addSlider("flowEdgeSoftness", QStringLiteral("Rand-Weichheit"), &Look::flowEdgeSoftness, 0, 1,
              {S::Flow});
    addSlider("flowPhase", QStringLiteral("Variante"), &Look::flowPhase, 0, 6.283, {S::Flow});

    addSlider("mirrorLine", QStringLiteral("Spiegel-Linie"), &Look::mirrorLine, 0.15, 0.85,
              {S::Mirror});
    addSlider("mirrorAmplitude", QStringLiteral("Amplitude"), &Look::mirrorAmplitude, 0, 0.15,
              {S::Mirror});
    addSlider("mirrorFrequency", QStringLiteral("Frequenz"), &Look::mirrorFrequency, 0.3, 3.0,
              {S::Mirror});
    addSlider("mirrorHardness", QStringLiteral("Kantenschärfe"), &Look::mirrorHardness, 0, 1,
              {S::Mirror});
    addSlider("mirrorDepth", QStringLiteral("Tiefe"), &Look::mirrorDepth, 0, 0.8, {S::Mirror});
    addSlider("mirrorSideFade", QStringLiteral("Seiten-Fade"), &Look::mirrorSideFade, 0, 1,
              {S::Mirror});

    addSlider("dither", QStringLiteral("Körnung"), &Look::dither, 0, 1, kAllStyles);

    addWideRow(makeFooter());

    connect(m_model, &AppModel::editingChanged, this, &EffectSection::sync);
    connect(m_model, &AppModel::lightLookChanged, this, &EffectSection::sync);
    connect(m_model, &AppModel::darkLookChanged, this, &EffectSection::sync);
    sync();
}

void EffectSection::addSlider(const char *name, const QString &label, double Look::*field,
                              double minimum, double maximum, const QList<WallpaperStyle> &styles)
{
    auto *slider = new DoubleSlider(minimum, maximum);
    const QString fieldName = QString::fromLatin1(name);
    slider->setObjectName(QStringLiteral("slider_") + fieldName);
    slider->setAccessibleName(label);
    slider->setAccessibleDescription(
        QStringLiteral("←/→ ändert in kleinen, Bild↑/Bild↓ in großen Schritten"));
    connect(slider, &DoubleSlider::valueEdited, this,
            [this, field](double value) { m_model->bind(field).setValue(value); });
    QWidget *row = addRow(label, slider);
    row->setObjectName(QStringLiteral("row_") + fieldName);
    m_sliders.append({field, slider, row, styles});
}

void EffectSection::addStyleRow(QWidget *row, const QList<WallpaperStyle> &styles)
{
    m_styleRows.append({row, styles});
}

QWidget *EffectSection::makeBandsControl()
{
    auto *control = new QWidget;
    control->setObjectName(QStringLiteral("bandsControl"));
    auto *layout = new QHBoxLayout(control);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_bands = new QButtonGroup(this);
    m_bands->setExclusive(true);
    const auto segment = [&](const char *name, const QString &text, int bands) {
        auto *button = new QToolButton(control);
        button->setObjectName(QString::fromLatin1(name));
        button->setText(text);
        button->setCheckable(true);
        button->setAccessibleDescription(QStringLiteral("Flow aus %1 Farbbändern").arg(bands));
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        m_bands->addButton(button, bands);
        layout->addWidget(button);
        return button;
    };
    m_bandsTwo = segment("bandsTwo", QStringLiteral("2 Farben"), 2);
    m_bandsThree = segment("bandsThree", QStringLiteral("3 Farben"), 3);
    // One rounded outline around both halves, the chosen half filled with the accent colour.
    control->setStyleSheet(QStringLiteral(
        "QToolButton { border: 1px solid palette(mid); background: palette(button);"
        " color: palette(button-text); padding: 3px 6px; }"
        "QToolButton:checked { background: palette(highlight);"
        " color: palette(highlighted-text); }"
        "QToolButton:focus { border: 2px solid palette(highlight); padding: 2px 5px; }"
        "QToolButton:checked:focus { border-color: palette(window-text); }"
        "QToolButton#bandsTwo { border-top-left-radius: 5px; border-bottom-left-radius: 5px; }"
        "QToolButton#bandsThree { border-left: none; border-top-right-radius: 5px;"
        " border-bottom-right-radius: 5px; }"));
    connect(m_bands, &QButtonGroup::idClicked, this,
            [this](int bands) { m_model->bind(&Look::flowBands).setValue(bands); });
    return control;
}

QWidget *EffectSection::makeWells()
{
    auto *wells = new QWidget;
    auto *layout = new QHBoxLayout(wells);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    for (int i = 0; i < 3; ++i) {
        auto *well = new ColorWell(wells);
        well->setObjectName(QStringLiteral("colorWell%1").arg(i));
        const QString name = QStringLiteral("Farbe %1").arg(i + 1);
        well->setAccessibleName(name);
        well->setToolTip(name);
        connect(well, &ColorWell::clicked, this, [this, i] { chooseColor(i); });
        layout->addWidget(well);
        m_wells.append(well);
    }
    layout->addStretch();
    return wells;
}

QWidget *EffectSection::makeFooter()
{
    auto *footer = new QWidget;
    auto *layout = new QHBoxLayout(footer);
    layout->setContentsMargins(0, 4, 0, 0);
    layout->setSpacing(8);
    m_reset = new QPushButton(QStringLiteral("Zurücksetzen"), footer);
    m_reset->setObjectName(QStringLiteral("resetButton"));
    m_reset->setAccessibleDescription(QStringLiteral("Die Werte dieses Stils zurücksetzen"));
    connect(m_reset, &QPushButton::clicked, this, [this] { m_model->resetCurrentLook(); });
    layout->addWidget(m_reset);
    layout->addStretch();
    m_attribution = new CreditLabel(footer);
    m_attribution->setObjectName(QStringLiteral("attribution"));
    layout->addWidget(m_attribution, 1);
    return footer;
}

void EffectSection::chooseColor(int index)
{
    QColor Look::*field = kColorFields[index];
    QColorDialog dialog(displayColor(m_model->currentLook().*field), window());
    dialog.setObjectName(QStringLiteral("colorDialog"));
    dialog.setWindowTitle(QStringLiteral("Farbe %1").arg(index + 1));
    // No alpha: the renderers draw every band opaque.
    dialog.setOption(QColorDialog::ShowAlphaChannel, false);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QColor chosen = dialog.selectedColor().toRgb();
    if (!chosen.isValid())
        return;
    m_model->bind(field).setValue(QColor::fromRgbF(chosen.redF(), chosen.greenF(), chosen.blueF()));
}

void EffectSection::sync()
{
    const Look &look = m_model->currentLook();
    {
        const QSignalBlocker blocker(m_stylePicker);
        m_stylePicker->setCurrentIndex(m_stylePicker->findData(rawValue(look.style)));
    }
    if (m_shownStyle != look.style)
        showStyle(look.style);
    for (const SliderRow &row : std::as_const(m_sliders))
        row.slider->showValue(look.*row.field);

    {
        const QSignalBlocker two(m_bandsTwo), three(m_bandsThree);
        (look.flowBands >= 3 ? m_bandsThree : m_bandsTwo)->setChecked(true);
    }
    for (int i = 0; i < m_wells.size(); ++i)
        m_wells[i]->setColor(displayColor(look.*kColorFields[i]));
    m_wells[2]->setVisible(look.flowBands >= 3);
    m_paletteFromPhoto->setEnabled(look.source.has_value());

    const QString credit = look.attribution.value_or(QString());
    if (credit.isEmpty()) {
        m_attribution->setCredit({}, {});
        m_attribution->hide();
    } else {
        m_attribution->setCredit(credit,
                                 CreditLabel::parseLink(look.attributionURL.value_or(QString())));
        m_attribution->show();
    }
}

void EffectSection::showStyle(WallpaperStyle style)
{
    // Rows are shown and hidden, never rebuilt: the slider being dragged stays the same
    // widget while the look changes under it.
    m_shownStyle = style;
    for (const SliderRow &row : std::as_const(m_sliders))
        row.row->setVisible(row.styles.contains(style));
    for (const StyleRow &row : std::as_const(m_styleRows))
        row.row->setVisible(row.styles.contains(style));
}

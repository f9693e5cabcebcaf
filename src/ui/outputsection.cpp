#include "outputsection.h"

#include "model/appmodel.h"
#include "model/renderpipeline.h"

#include "elidingcombobox.h"
#include "thumbmodels.h"
#include "thumbstrip.h"

#include "day/daycycle.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QScreen>
#include <QSignalBlocker>

#include <algorithm>

namespace {

// Side lengths from 1 to the largest an export can have. A number outside, typed or pasted,
// becomes the nearest of them on Return or when the field is left, rather than being ignored.
class LengthValidator : public QIntValidator
{
public:
    LengthValidator(QObject *parent) : QIntValidator(1, int(RenderPipeline::MaxOutputSide), parent)
    {
    }

    void fixup(QString &input) const override
    {
        QIntValidator::fixup(input);
        bool ok = false;
        const qlonglong value = locale().toLongLong(input.trimmed(), &ok);
        if (ok && (value < bottom() || value > top()))
            input = locale().toString(std::clamp<qlonglong>(value, bottom(), top()));
    }
};

} // namespace

OutputSection::OutputSection(AppModel *model, QWidget *parent)
    : InspectorSection(QStringLiteral("Ausgabe"), parent), m_model(model)
{
    addFormatRows();

    m_presetPicker = new ElidingComboBox;
    m_presetPicker->setObjectName(QStringLiteral("presetPicker"));
    // The preset names are long; the closed picker elides rather than widening the column.
    m_presetPicker->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_presetPicker->setMinimumContentsLength(10);
    connect(m_presetPicker, &QComboBox::activated, this, [this](int index) {
        if (index >= 0 && index < m_presets.size())
            m_model->setPreset(m_presets.at(index));
    });
    addRow(QStringLiteral("Auflösung"), m_presetPicker);

    auto *custom = new QWidget;
    auto *layout = new QHBoxLayout(custom);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    m_width = makeLengthField("customWidth", QStringLiteral("Breite"));
    m_height = makeLengthField("customHeight", QStringLiteral("Höhe"));
    auto *times = new QLabel(QStringLiteral("×"), custom);
    auto *px = new QLabel(QStringLiteral("px"), custom);
    makeSecondary(times);
    makeSecondary(px);
    layout->addWidget(m_width, 1);
    layout->addWidget(times);
    layout->addWidget(m_height, 1);
    layout->addWidget(px);
    m_customRow = addRow(QString(), custom);
    m_customRow->setObjectName(QStringLiteral("customSizeRow"));
    connect(m_width, &QLineEdit::editingFinished, this,
            [this] { commitLength(m_width, &AppModel::setCustomWidth, &AppModel::customWidth); });
    connect(m_height, &QLineEdit::editingFinished, this, [this] {
        commitLength(m_height, &AppModel::setCustomHeight, &AppModel::customHeight);
    });

    m_size = new QLabel;
    m_size->setObjectName(QStringLiteral("sizeLabel"));
    // Tabular figures keep the line from jittering while the size is typed.
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSizeF(smallFont(font()).pointSizeF() > 0 ? smallFont(font()).pointSizeF()
                                                          : mono.pointSizeF());
    m_size->setFont(mono);
    makeSecondary(m_size);
    // „· zu groß“ after a long size must not widen the column: the line wraps.
    m_size->setWordWrap(true);
    m_size->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    addRow(QString(), m_size);

    // A screen plugged in, out, or rescaled changes „Dieser Bildschirm“.
    const auto followScreen = [this](QScreen *screen) {
        connect(screen, &QScreen::geometryChanged, this, &OutputSection::syncScreens);
        connect(screen, &QScreen::logicalDotsPerInchChanged, this, &OutputSection::syncScreens);
    };
    for (QScreen *screen : QGuiApplication::screens())
        followScreen(screen);
    connect(qGuiApp, &QGuiApplication::screenAdded, this, [this, followScreen](QScreen *screen) {
        followScreen(screen);
        syncScreens();
    });
    // Queued: the screen is still listed while it is being removed.
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, &OutputSection::syncScreens,
            Qt::QueuedConnection);
    syncScreens();

    connect(m_model, &AppModel::presetChanged, this, &OutputSection::syncPreset);
    connect(m_model, &AppModel::customWidthChanged, this,
            [this] { syncLength(m_width, m_model->customWidth()); });
    connect(m_model, &AppModel::customHeightChanged, this,
            [this] { syncLength(m_height, m_model->customHeight()); });
    syncLength(m_width, m_model->customWidth());
    syncLength(m_height, m_model->customHeight());
}

void OutputSection::addFormatRows()
{
    m_formatPicker = new QComboBox;
    m_formatPicker->setObjectName(QStringLiteral("formatPicker"));
    m_formatPicker->addItem(QStringLiteral("Hell und Dunkel"), 0);
    for (int count : DayCycle::kCounts)
        m_formatPicker->addItem(QStringLiteral("Tagesverlauf, %1 Bilder").arg(count), count);
    m_formatPicker->setToolTip(
        QStringLiteral("Hell und Dunkel: ein Bild je Erscheinungsbild. Tagesverlauf: Bilder, die "
                       "dem Sonnenstand folgen, von der Nacht im dunklen Look über die "
                       "Dämmerung zum Tag im hellen Look"));
    addRow(QStringLiteral("Format"), m_formatPicker);
    connect(m_formatPicker, &QComboBox::activated, this, [this](int index) {
        m_model->dayCycle()->setCount(m_formatPicker->itemData(index).toInt());
    });

    m_dayCycleModel = new DayCycleThumbModel;
    m_dayCycleStrip = new ThumbStrip(m_dayCycleModel);
    m_dayCycleStrip->setObjectName(QStringLiteral("dayCycleStrip"));
    m_dayCycleStrip->setAccessibleName(QStringLiteral("Bilder des Tagesverlaufs"));
    m_dayCycleStrip->setSelectionProvider([this]() -> std::optional<QString> {
        const int shown = m_model->dayCycle()->shownPicture();
        return shown < 0 ? std::nullopt : std::optional(QString::number(shown));
    });
    m_dayCycleRow = addWideRow(m_dayCycleStrip);
    connect(m_dayCycleStrip, &ThumbStrip::tileClicked, m_model->dayCycle(), &DayCyclePreview::show);
    connect(m_model->dayCycle(), &DayCyclePreview::changed, this, &OutputSection::syncDayCycle);
    syncDayCycle();
}

void OutputSection::syncDayCycle()
{
    const DayCyclePreview *cycle = m_model->dayCycle();
    const int count = cycle->count();
    {
        const QSignalBlocker blocker(m_formatPicker);
        m_formatPicker->setCurrentIndex(std::max(m_formatPicker->findData(count), 0));
    }
    m_dayCycleModel->setPictures(cycle->thumbnails(), cycle->lines());
    m_dayCycleRow->setVisible(count > 0);
    m_dayCycleStrip->refresh();
}

std::optional<qint64> OutputSection::parseLength(const QString &text)
{
    bool ok = false;
    const qlonglong value = QLocale().toLongLong(text.trimmed(), &ok);
    if (!ok || value < 1 || value > RenderPipeline::MaxOutputSide)
        return std::nullopt;
    return value;
}

QString OutputSection::formatLength(qint64 length)
{
    return QLocale().toString(length);
}

QLineEdit *OutputSection::makeLengthField(const char *name, const QString &title)
{
    auto *field = new QLineEdit;
    field->setObjectName(QString::fromLatin1(name));
    field->setPlaceholderText(title);
    field->setAccessibleName(title);
    field->setToolTip(QStringLiteral("%1 in Pixeln: höchstens %2, Breite mal Höhe höchstens %3 "
                                     "Megapixel")
                          .arg(title)
                          .arg(RenderPipeline::MaxOutputSide)
                          .arg(RenderPipeline::MaxOutputPixels / 1'000'000));
    field->setValidator(new LengthValidator(field));
    field->setAlignment(Qt::AlignRight);
    // Files dropped on the column open as pictures; they must not land in a field as text.
    field->setAcceptDrops(false);
    field->setMinimumWidth(40);
    return field;
}

void OutputSection::commitLength(QLineEdit *field, void (AppModel::*set)(qint64),
                                 qint64 (AppModel::*get)() const)
{
    // Leaving a field unchanged writes nothing, so it costs no new preview.
    const auto length = parseLength(field->text());
    if (length && *length != (m_model->*get)())
        (m_model->*set)(*length);
    // Whatever was typed, the field ends up showing what the model holds.
    field->setText(formatLength((m_model->*get)()));
}

void OutputSection::syncScreens()
{
    QList<std::pair<QSize, qreal>> screens;
    for (const QScreen *screen : QGuiApplication::screens())
        screens.append({screen->geometry().size(), screen->devicePixelRatio()});
    const std::optional<ResolutionPreset> screen = ResolutionPreset::forScreens(screens);
    if (screen == m_model->screenPreset() && !m_presets.isEmpty())
        return;
    m_presets = ResolutionPreset::all();
    if (screen)
        m_presets.prepend(*screen);
    {
        const QSignalBlocker blocker(m_presetPicker);
        m_presetPicker->clear();
        for (const ResolutionPreset &preset : std::as_const(m_presets))
            m_presetPicker->addItem(preset.name, preset.id());
    }
    // Whether the size follows the screen is the model's to say; the picker shows the outcome.
    m_model->setScreenPreset(screen);
    syncPreset();
}

void OutputSection::syncPreset()
{
    const ResolutionPreset preset = m_model->preset();
    {
        const QSignalBlocker blocker(m_presetPicker);
        m_presetPicker->setCurrentIndex(int(m_presets.indexOf(preset)));
    }
    // The closed picker may shorten the name; the size stays whole, the name is here.
    m_presetPicker->setToolTip(preset.name);
    m_customRow->setVisible(preset.isCustom());
    syncSize();
}

void OutputSection::syncLength(QLineEdit *field, qint64 value)
{
    // A field being typed in keeps the user's text (and cursor) while it means the same.
    if (!(field->hasFocus() && parseLength(field->text()) == value))
        field->setText(formatLength(value));
    syncSize();
}

void OutputSection::syncSize()
{
    // Each side can be within the limit and the two together still too many pixels: the line
    // says so at once, not only when the export is refused.
    const std::optional<QString> error = RenderPipeline::sizeError(m_model->pixelSize());
    m_size->setText(m_model->pixelSizeLabel() + (error ? QStringLiteral(" · zu groß") : QString()));
    m_size->setToolTip(error.value_or(QString()));
}

#include "model/appmodel.h"
#include "support/fakes.h"
#include "support/reference.h"
#include "support/testdata.h"
#include "ui/colorwell.h"
#include "ui/creditlabel.h"
#include "ui/doubleslider.h"
#include "ui/effectsection.h"
#include "ui/inspector.h"
#include "ui/outputsection.h"

#include <QAbstractButton>
#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <functional>

namespace {

// The sliders of the effect section: field, range and the styles that show them.
struct SliderField
{
    const char *name;
    double Look::*field;
    double minimum;
    double maximum;
    QList<WallpaperStyle> styles;
};

const QList<SliderField> &sliderFields()
{
    using S = WallpaperStyle;
    static const QList<SliderField> fields{
        {"blur", &Look::blur, 0, 100, {S::Blur, S::Mirror}},
        {"brightness", &Look::brightness, -0.3, 0.3, {S::Blur}},
        {"saturation", &Look::saturation, 0, 2, {S::Blur}},
        {"contrast", &Look::contrast, 0.8, 1.3, {S::Blur}},
        {"dither", &Look::dither, 0, 1, {S::Blur, S::Flow, S::Mirror}},
        {"flowAmplitude", &Look::flowAmplitude, 0, 0.25, {S::Flow}},
        {"flowFrequency", &Look::flowFrequency, 0.3, 3.0, {S::Flow}},
        {"flowSharpness", &Look::flowSharpness, 0, 1, {S::Flow}},
        {"flowEdgeSoftness", &Look::flowEdgeSoftness, 0, 1, {S::Flow}},
        {"flowPhase", &Look::flowPhase, 0, 6.283, {S::Flow}},
        {"mirrorLine", &Look::mirrorLine, 0.15, 0.85, {S::Mirror}},
        {"mirrorAmplitude", &Look::mirrorAmplitude, 0, 0.15, {S::Mirror}},
        {"mirrorFrequency", &Look::mirrorFrequency, 0.3, 3.0, {S::Mirror}},
        {"mirrorHardness", &Look::mirrorHardness, 0, 1, {S::Mirror}},
        {"mirrorDepth", &Look::mirrorDepth, 0, 0.8, {S::Mirror}},
        {"mirrorSideFade", &Look::mirrorSideFade, 0, 1, {S::Mirror}},
    };
    return fields;
}

QString photoPath()
{
    return TestData::photo(QStringLiteral("photo-path-2560x1600.jpg"));
}

template <typename T> T *child(QWidget &parent, const QString &name)
{
    T *found = parent.findChild<T *>(name);
    if (!found)
        qWarning("no child %s", qPrintable(name));
    return found;
}

DoubleSlider *slider(QWidget &pane, const char *name)
{
    return child<DoubleSlider>(pane, QStringLiteral("slider_") + QLatin1String(name));
}

// Writes `values[i]` (a fraction of the range) into every slider field of the look edited now.
void writeFields(AppModel &model, WallpaperStyle style, double offset)
{
    model.bind(&Look::style).setValue(style);
    int i = 0;
    for (const SliderField &f : sliderFields()) {
        const double fraction = std::fmod(0.13 * ++i + offset, 0.9) + 0.05;
        model.bind(f.field).setValue(f.minimum + fraction * (f.maximum - f.minimum));
    }
}

// Answers the next modal dialog of type T with `answer` once it is open.
template <typename T> void answerModal(const std::function<void(T *)> &answer)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, answer] {
        auto *dialog = qobject_cast<T *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        timer->stop();
        timer->deleteLater();
        answer(dialog);
    });
    timer->start();
}

void dropUrls(QWidget &target, const QStringList &paths)
{
    QMimeData data;
    QList<QUrl> urls;
    for (const QString &path : paths)
        urls << QUrl::fromLocalFile(path);
    data.setUrls(urls);
    const QPointF at(target.width() / 2.0, target.height() / 2.0);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&target, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&target, &drop);
    QVERIFY(drop.isAccepted());
}

} // namespace

class TestInspector : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void controlsFollowTheEditedLook_data();
    void controlsFollowTheEditedLook();
    void showingDoesNotClamp();
    void stylePickerWritesAndKeepsSliders();
    void sliderMoveRendersOnce();
    void sliderMappingRoundTrips_data();
    void sliderMappingRoundTrips();
    void customSizeFields_data();
    void customSizeFields();
    void customFieldsFollowThePreset();
    void wellsFollowBands_data();
    void wellsFollowBands();
    void colorDialogWritesOpaque();
    void paletteFromPhotoNeedsAPicture();
    void resetButtonResets();
    void exportNeedsContent();
    void drops_data();
    void drops();
    void attribution_data();
    void attribution();
    void longCreditKeepsTheColumn();

private:
    QString writeText(const QString &name);
    QString copyPhoto(const QString &name);

    QLocale m_locale;
    QTemporaryDir m_settingsDir;
    QTemporaryDir m_files;
};

void TestInspector::initTestCase()
{
    m_locale = QLocale();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
}

void TestInspector::init()
{
    QSettings(QStringLiteral("Voskan"), QStringLiteral("Voskan")).clear();
}

void TestInspector::cleanup()
{
    QLocale::setDefault(m_locale);
}

QString TestInspector::writeText(const QString &name)
{
    QFile file(m_files.filePath(name));
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write("Nur ein Text, kein Bild.\n");
    return file.fileName();
}

QString TestInspector::copyPhoto(const QString &name)
{
    const QString path = m_files.filePath(name);
    QFile::remove(path);
    QFile::copy(photoPath(), path);
    return path;
}

void TestInspector::controlsFollowTheEditedLook_data()
{
    QTest::addColumn<WallpaperStyle>("lightStyle");
    QTest::addColumn<WallpaperStyle>("darkStyle");
    QTest::newRow("blur / flow") << WallpaperStyle::Blur << WallpaperStyle::Flow;
    QTest::newRow("flow / mirror") << WallpaperStyle::Flow << WallpaperStyle::Mirror;
    QTest::newRow("mirror / blur") << WallpaperStyle::Mirror << WallpaperStyle::Blur;
    QTest::newRow("blur / blur") << WallpaperStyle::Blur << WallpaperStyle::Blur;
}

void TestInspector::controlsFollowTheEditedLook()
{
    QFETCH(WallpaperStyle, lightStyle);
    QFETCH(WallpaperStyle, darkStyle);
    AppModel model;
    InspectorPane pane(&model);
    writeFields(model, lightStyle, 0.0);
    model.bind(&Look::flowBands).setValue(2);
    model.setEditing(Appearance::Dark);
    writeFields(model, darkStyle, 0.41);
    model.bind(&Look::flowBands).setValue(3);
    model.setEditing(Appearance::Light);

    auto *picker = child<QComboBox>(pane, QStringLiteral("stylePicker"));
    QVERIFY(picker);
    QStringList titles;
    for (int i = 0; i < picker->count(); ++i)
        titles << picker->itemText(i);
    QCOMPARE(titles, (QStringList{QStringLiteral("Blur"), QStringLiteral("Flow"),
                                  QStringLiteral("Spiegel")}));

    QSignalSpy lightWrites(&model, &AppModel::lightLookChanged);
    QSignalSpy darkWrites(&model, &AppModel::darkLookChanged);
    for (const Appearance editing : {Appearance::Dark, Appearance::Light, Appearance::Dark}) {
        model.setEditing(editing);
        const Look &look = model.currentLook();
        QCOMPARE(picker->currentText(), label(look.style));
        for (const SliderField &f : sliderFields()) {
            DoubleSlider *s = slider(pane, f.name);
            QVERIFY(s);
            QCOMPARE(s->minimumValue(), f.minimum);
            QCOMPARE(s->maximumValue(), f.maximum);
            QCOMPARE(s->tickPosition(), QSlider::NoTicks);
            QCOMPARE(s->parentWidget()->isVisibleTo(&pane), f.styles.contains(look.style));
            const double step = (f.maximum - f.minimum) / DoubleSlider::kSteps;
            QVERIFY2(std::abs(s->doubleValue() - look.*f.field) <= step / 2 + 1e-12, f.name);
        }
        const bool flow = look.style == WallpaperStyle::Flow;
        QCOMPARE(child<QWidget>(pane, QStringLiteral("bandsThree"))->isVisibleTo(&pane), flow);
        QCOMPARE(child<QAbstractButton>(pane, QStringLiteral("bandsThree"))->isChecked(),
                 look.flowBands == 3);
        QCOMPARE(child<QWidget>(pane, QStringLiteral("colorWell2"))->isVisibleTo(&pane),
                 flow && look.flowBands == 3);
    }
    // Showing a look reads it and never writes it.
    QCOMPARE(lightWrites.count(), 0);
    QCOMPARE(darkWrites.count(), 0);
}

void TestInspector::showingDoesNotClamp()
{
    AppModel model;
    InspectorPane pane(&model);
    model.bind(&Look::blur).setValue(250.0);
    model.bind(&Look::contrast).setValue(0.2);
    model.setEditing(Appearance::Dark);
    model.setEditing(Appearance::Light);
    QCOMPARE(slider(pane, "blur")->value(), DoubleSlider::kSteps);
    QCOMPARE(slider(pane, "contrast")->value(), 0);
    QCOMPARE(model.lightLook().blur, 250.0);
    QCOMPARE(model.lightLook().contrast, 0.2);
    // Another field written elsewhere leaves the held values alone as well.
    model.bind(&Look::dither).setValue(0.5);
    QCOMPARE(model.lightLook().blur, 250.0);
    QCOMPARE(model.lightLook().contrast, 0.2);
}

void TestInspector::stylePickerWritesAndKeepsSliders()
{
    AppModel model;
    InspectorPane pane(&model);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    QPointer<DoubleSlider> dither = slider(pane, "dither");
    auto *picker = child<QComboBox>(pane, QStringLiteral("stylePicker"));
    picker->setFocus();
    QTest::keyClick(picker, Qt::Key_End);
    QCOMPARE(model.lightLook().style, WallpaperStyle::Mirror);
    QVERIFY(slider(pane, "mirrorDepth")->isVisible());
    QVERIFY(!slider(pane, "brightness")->isVisible());
    QTest::keyClick(picker, Qt::Key_Up);
    QCOMPARE(model.lightLook().style, WallpaperStyle::Flow);
    QCOMPARE(model.darkLook().style, WallpaperStyle::Blur);
    for (int i = 0; i < 5; ++i)
        model.bind(&Look::dither).setValue(0.1 * i);
    // The control the user may be dragging survives look and style changes.
    QVERIFY(!dither.isNull());
    QCOMPARE(dither.data(), slider(pane, "dither"));
}

void TestInspector::sliderMoveRendersOnce()
{
    AppModel model;
    model.applySource(Reference::photo(QStringLiteral("photo-path-2560x1600.jpg"), 320, 200), {},
                      {}, {}, {}, Appearance::Light);
    InspectorPane pane(&model);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    QSignalSpy renders(&model, &AppModel::previewChanged);
    DoubleSlider *blur = slider(pane, "blur");
    const double before = model.lightLook().blur;
    blur->setFocus();
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(blur, Qt::Key_Right);
    const double step = 100.0 / DoubleSlider::kSteps;
    QVERIFY(std::abs(model.lightLook().blur - (before + 4 * blur->singleStep() * step)) < step);
    QCOMPARE(renders.count(), 0); // debounced
    QTRY_COMPARE(renders.count(), 1);
    QTest::qWait(3 * AppModel::kRenderDelayMs);
    QCOMPARE(renders.count(), 1);
    QCOMPARE(model.darkLook().blur, Look::initialDark().blur);
}

void TestInspector::sliderMappingRoundTrips_data()
{
    QTest::addColumn<QString>("name");
    for (const SliderField &f : sliderFields())
        QTest::newRow(f.name) << QString::fromLatin1(f.name);
}

void TestInspector::sliderMappingRoundTrips()
{
    QFETCH(QString, name);
    AppModel model;
    InspectorPane pane(&model);
    const SliderField &f = *std::find_if(sliderFields().begin(), sliderFields().end(),
                                         [&](const SliderField &s) { return name == s.name; });
    model.bind(&Look::style).setValue(f.styles.first());
    DoubleSlider *s = slider(pane, f.name);
    const double range = f.maximum - f.minimum;
    QCOMPARE(s->valueForStep(s->minimum()), f.minimum);
    QCOMPARE(s->valueForStep(s->maximum()), f.maximum);
    for (int step = s->minimum(); step <= s->maximum(); ++step) {
        const double value = s->valueForStep(step);
        QCOMPARE(s->stepForValue(value), step);
        if (step > s->minimum())
            QVERIFY(value - s->valueForStep(step - 1) <= range / 1000);
    }
    // Through the model: what a move writes is what showing it again puts the handle on.
    for (int step = s->minimum(); step <= s->maximum(); step += 97) {
        s->setValue(step);
        const double written = model.currentLook().*f.field;
        QVERIFY(std::abs(written - s->valueForStep(step)) <= range * 1e-12);
        model.setEditing(Appearance::Dark);
        model.setEditing(Appearance::Light);
        QCOMPARE(s->value(), step);
    }
}

void TestInspector::customSizeFields_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<qint64>("expected"); // -1: not written
    QTest::newRow("grouped") << QStringLiteral("6.016") << qint64(6016);
    QTest::newRow("ungrouped") << QStringLiteral("6016") << qint64(6016);
    QTest::newRow("large") << QStringLiteral("12.345.678") << qint64(12345678);
    QTest::newRow("letters") << QStringLiteral("abc") << qint64(-1);
    QTest::newRow("empty") << QString() << qint64(-1);
    QTest::newRow("negative") << QStringLiteral("-5") << qint64(-1);
    QTest::newRow("zero") << QStringLiteral("0") << qint64(-1);
    QTest::newRow("beyond int") << QStringLiteral("3.000.000.000") << qint64(-1);
    QTest::newRow("decimal") << QStringLiteral("12,5") << qint64(-1);
}

void TestInspector::customSizeFields()
{
    QFETCH(QString, typed);
    QFETCH(qint64, expected);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    AppModel model;
    model.setPreset(ResolutionPreset::all().last());
    model.setCustomWidth(1234);
    model.setCustomHeight(2345);
    InspectorPane pane(&model);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    for (const char *name : {"customWidth", "customHeight"}) {
        auto *field = child<QLineEdit>(pane, QString::fromLatin1(name));
        QVERIFY(field);
        const bool width = qstrcmp(name, "customWidth") == 0;
        const qint64 before = width ? model.customWidth() : model.customHeight();
        QCOMPARE(field->text(), QLocale().toString(before));
        field->setFocus();
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, typed);
        QTest::keyClick(field, Qt::Key_Return);
        const qint64 now = width ? model.customWidth() : model.customHeight();
        QCOMPARE(now, expected < 0 ? before : expected);
        QCOMPARE(field->text(), QLocale().toString(now));
    }
    QCOMPARE(child<QLabel>(pane, QStringLiteral("sizeLabel"))->text(), model.pixelSizeLabel());
}

void TestInspector::customFieldsFollowThePreset()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    AppModel model;
    InspectorPane pane(&model);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    auto *picker = child<QComboBox>(pane, QStringLiteral("presetPicker"));
    auto *width = child<QLineEdit>(pane, QStringLiteral("customWidth"));
    auto *size = child<QLabel>(pane, QStringLiteral("sizeLabel"));
    QCOMPARE(picker->count(), ResolutionPreset::all().size());
    for (int i = 0; i < picker->count(); ++i)
        QCOMPARE(picker->itemText(i), ResolutionPreset::all().at(i).name);
    QCOMPARE(picker->itemText(picker->count() - 1), QStringLiteral("Eigene Größe…"));
    QCOMPARE(picker->currentIndex(), 0);
    QVERIFY(!width->isVisible());

    picker->setFocus();
    QTest::keyClick(picker, Qt::Key_End);
    QVERIFY(model.preset().isCustom());
    QVERIFY(width->isVisible());
    QCOMPARE(width->text(), QStringLiteral("6.016"));
    QCOMPARE(size->text(), model.pixelSizeLabel());

    QTest::keyClick(picker, Qt::Key_Up);
    QCOMPARE(model.preset(), ResolutionPreset::all().at(picker->count() - 2));
    QVERIFY(!width->isVisible());
    QCOMPARE(size->text(), model.pixelSizeLabel());

    // Changes made elsewhere show as well.
    model.setPreset(ResolutionPreset::all().last());
    QVERIFY(width->isVisible());
    model.setCustomWidth(800);
    QCOMPARE(width->text(), QStringLiteral("800"));
    QCOMPARE(size->text(), model.pixelSizeLabel());
    model.setPreset(ResolutionPreset::all().at(1));
    QCOMPARE(picker->currentIndex(), 1);
    QCOMPARE(size->text(), model.pixelSizeLabel());
}

void TestInspector::wellsFollowBands_data()
{
    QTest::addColumn<QString>("segment");
    QTest::addColumn<qint64>("bands");
    QTest::newRow("2 Farben") << QStringLiteral("bandsTwo") << qint64(2);
    QTest::newRow("3 Farben") << QStringLiteral("bandsThree") << qint64(3);
}

void TestInspector::wellsFollowBands()
{
    QFETCH(QString, segment);
    QFETCH(qint64, bands);
    AppModel model;
    InspectorPane pane(&model);
    model.bind(&Look::style).setValue(WallpaperStyle::Flow);
    model.bind(&Look::flowBands).setValue(bands == 2 ? 3 : 2);
    auto *button = child<QAbstractButton>(pane, segment);
    QVERIFY(!button->isChecked());
    button->click();
    QCOMPARE(model.lightLook().flowBands, bands);
    QVERIFY(button->isChecked());
    int shown = 0;
    for (int i = 0; i < 3; ++i) {
        auto *well = child<ColorWell>(pane, QStringLiteral("colorWell%1").arg(i));
        shown += well->isVisibleTo(&pane);
        QCOMPARE(well->accessibleName(), QStringLiteral("Farbe %1").arg(i + 1));
    }
    QCOMPARE(shown, bands);
    QCOMPARE(child<QAbstractButton>(pane, QStringLiteral("bandsTwo"))->text(),
             QStringLiteral("2 Farben"));
}

void TestInspector::colorDialogWritesOpaque()
{
    AppModel model;
    InspectorPane pane(&model);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    model.bind(&Look::style).setValue(WallpaperStyle::Flow);
    model.bind(&Look::flowColor1).setValue(QColor(200, 100, 50));
    auto *well = child<ColorWell>(pane, QStringLiteral("colorWell1"));
    QCOMPARE(well->color(), QColor(200, 100, 50));
    bool alphaOffered = true;
    QColor offered;
    answerModal<QColorDialog>([&](QColorDialog *dialog) {
        alphaOffered = dialog->testOption(QColorDialog::ShowAlphaChannel);
        offered = dialog->currentColor();
        dialog->setCurrentColor(QColor(10, 20, 30, 128));
        dialog->accept();
    });
    QTest::mouseClick(well, Qt::LeftButton);
    QVERIFY(!alphaOffered);
    QCOMPARE(offered, QColor(200, 100, 50));
    const QColor written = model.lightLook().flowColor1;
    QCOMPARE(written.alphaF(), 1.0f);
    QCOMPARE(written.toRgb().rgb(), QColor(10, 20, 30).rgb());
    QCOMPARE(well->color().rgb(), QColor(10, 20, 30).rgb());
    QCOMPARE(model.lightLook().flowColor0, Look().flowColor0);

    // Cancelling writes nothing.
    QSignalSpy writes(&model, &AppModel::lightLookChanged);
    answerModal<QColorDialog>([](QColorDialog *dialog) { dialog->reject(); });
    QTest::mouseClick(well, Qt::LeftButton);
    QCOMPARE(writes.count(), 0);
}

void TestInspector::paletteFromPhotoNeedsAPicture()
{
    AppModel model;
    InspectorPane pane(&model);
    model.bind(&Look::style).setValue(WallpaperStyle::Flow);
    auto *button = child<QPushButton>(pane, QStringLiteral("paletteFromPhotoButton"));
    QVERIFY(button->isVisibleTo(&pane));
    QVERIFY(!button->isEnabled());
    model.applySource(Reference::solid(40, 30, 20, 160, 60), QStringLiteral("p"), {}, {}, {},
                      Appearance::Light);
    QVERIFY(button->isEnabled());
    model.bind(&Look::flowColor0).setValue(QColor(Qt::white));
    const Look withWhite = model.lightLook();
    button->click();
    QVERIFY(model.lightLook().flowColor0 != withWhite.flowColor0);
    // The dark look got the picture as a seed; one without a picture disables the button.
    model.setEditing(Appearance::Dark);
    QVERIFY(button->isEnabled());
    model.bind(&Look::source).setValue(std::nullopt);
    QVERIFY(!button->isEnabled());
    model.setEditing(Appearance::Light);
    QVERIFY(button->isEnabled());
}

void TestInspector::resetButtonResets()
{
    AppModel model;
    InspectorPane pane(&model);
    model.setEditing(Appearance::Dark);
    model.bind(&Look::mirrorDepth).setValue(0.7);
    model.bind(&Look::style).setValue(WallpaperStyle::Mirror);
    child<QPushButton>(pane, QStringLiteral("resetButton"))->click();
    QCOMPARE(model.darkLook().mirrorDepth, Look().mirrorDepth);
    QCOMPARE(slider(pane, "mirrorDepth")->doubleValue(), Look().mirrorDepth);
    QCOMPARE(model.lightLook(), Look());
}

void TestInspector::exportNeedsContent()
{
    AppModel model;
    InspectorPane pane(&model);
    QAction *exportAction = pane.exportAction();
    QVERIFY(exportAction);
    QCOMPARE(exportAction->text(), QStringLiteral("Als HEIC exportieren…"));
    QCOMPARE(exportAction->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
    QCOMPARE(exportAction->shortcutContext(), Qt::WindowShortcut);
    QVERIFY(pane.actions().contains(exportAction));
    auto *exportButton = child<QToolButton>(pane, QStringLiteral("exportButton"));
    auto *desktop = child<QPushButton>(pane, QStringLiteral("setDesktopButton"));
    QCOMPARE(exportButton->popupMode(), QToolButton::InstantPopup);
    QVERIFY(exportButton->menu()->actions().contains(exportAction));
    QCOMPARE(exportButton->menu()->actions().first()->text(), QStringLiteral("In Fotos sichern"));

    const auto enabled = [&] {
        const bool e = exportButton->isEnabled();
        if (desktop->isEnabled() != e || exportAction->isEnabled() != e)
            return -1;
        return int(e);
    };
    QCOMPARE(enabled(), 0);
    model.bind(&Look::style).setValue(WallpaperStyle::Flow); // the dark look has nothing yet
    QCOMPARE(model.canExport(), false);
    QCOMPARE(enabled(), 0);
    model.setEditing(Appearance::Dark);
    model.bind(&Look::style).setValue(WallpaperStyle::Flow);
    QCOMPARE(enabled(), 1);
    model.bind(&Look::style).setValue(WallpaperStyle::Mirror);
    QCOMPARE(enabled(), 0);
    model.applySource(Reference::solid(20, 20, 1, 2, 3), QStringLiteral("p"), {}, {}, {},
                      Appearance::Dark);
    QCOMPARE(enabled(), 1);

    // Ctrl+S opens the export panel with the menu closed; cancelling it exports nothing.
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    QSignalSpy triggered(exportAction, &QAction::triggered);
    QSignalSpy exporting(&model, &AppModel::isExportingChanged);
    QString panel;
    answerModal<QFileDialog>([&](QFileDialog *dialog) {
        panel = dialog->objectName();
        dialog->reject();
    });
    QTest::keyClick(&pane, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(triggered.count(), 1);
    QCOMPARE(panel, QStringLiteral("exportPanel"));
    QCOMPARE(exporting.count(), 0);
    model.bind(&Look::source).setValue(std::nullopt);
    QTest::keyClick(&pane, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(triggered.count(), 1);
}

void TestInspector::drops_data()
{
    QTest::addColumn<QStringList>("dropped");
    QTest::addColumn<QStringList>("opened"); // newest first, as recentFiles lists them
    QTest::newRow("text only") << QStringList{QStringLiteral("notiz.txt")} << QStringList{};
    QTest::newRow("text named like a picture")
        << QStringList{QStringLiteral("text.jpg")} << QStringList{};
    QTest::newRow("text and picture")
        << QStringList{QStringLiteral("notiz.txt"), QStringLiteral("a.jpg")}
        << QStringList{QStringLiteral("a.jpg")};
    QTest::newRow("pictures in order")
        << QStringList{QStringLiteral("a.jpg"), QStringLiteral("notiz.txt"),
                       QStringLiteral("ohne-endung")}
        << QStringList{QStringLiteral("ohne-endung"), QStringLiteral("a.jpg")};
}

void TestInspector::drops()
{
    QFETCH(QStringList, dropped);
    QFETCH(QStringList, opened);
    QStringList paths;
    for (const QString &name : dropped) {
        const bool text =
            name.startsWith(QLatin1String("notiz")) || name.startsWith(QLatin1String("text"));
        paths << QFileInfo(text ? writeText(name) : copyPhoto(name)).absoluteFilePath();
    }
    AppModel model;
    InspectorPane pane(&model);
    const Look before = model.lightLook();
    QSignalSpy errors(&model, &AppModel::errorMessageChanged);
    dropUrls(pane, paths);
    QStringList expected;
    for (const QString &name : opened)
        expected << QFileInfo(m_files.filePath(name)).absoluteFilePath();
    QCOMPARE(model.recentFiles(), expected);
    QVERIFY(!model.errorMessage());
    if (opened.isEmpty()) {
        QCOMPARE(model.lightLook(), before);
        QCOMPARE(errors.count(), 0);
    } else {
        QCOMPARE(model.currentLook().photoID, expected.first());
    }
}

void TestInspector::attribution_data()
{
    QTest::addColumn<QString>("credit"); // null: none
    QTest::addColumn<QString>("url");    // null: none
    QTest::addColumn<bool>("link");
    QTest::newRow("link, escaped")
        << QStringLiteral("Ada <b> & Co")
        << QStringLiteral("https://unsplash.com/@ada?utm_source=voskan&utm_medium=referral")
        << true;
    QTest::newRow("file name") << QStringLiteral("Bild.jpg") << QString() << false;
    QTest::newRow("no scheme") << QStringLiteral("Ada") << QStringLiteral("unsplash.com") << false;
    QTest::newRow("not a url") << QStringLiteral("Ada") << QStringLiteral("kein Link :)") << false;
    QTest::newRow("empty url") << QStringLiteral("Ada") << QStringLiteral("") << false;
    QTest::newRow("a file, not a page") << QStringLiteral("Ada") << QStringLiteral("file:///etc/passwd") << false;
    QTest::newRow("another scheme") << QStringLiteral("Ada") << QStringLiteral("smb://host/share") << false;
    QTest::newRow("no credit") << QString() << QStringLiteral("https://unsplash.com") << false;
}

void TestInspector::attribution()
{
    QFETCH(QString, credit);
    QFETCH(QString, url);
    QFETCH(bool, link);
    AppModel model;
    InspectorPane pane(&model);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    model.setEditing(Appearance::Dark);
    model.bind(&Look::attribution)
        .setValue(credit.isNull() ? std::nullopt : std::optional<QString>(credit));
    model.bind(&Look::attributionURL)
        .setValue(url.isNull() ? std::nullopt : std::optional<QString>(url));
    auto *label = child<CreditLabel>(pane, QStringLiteral("attribution"));
    QCOMPARE(label->isVisible(), !credit.isNull());
    if (!credit.isNull()) {
        QCOMPARE(label->isLink(), link);
        QCOMPARE(label->textFormat(), link ? Qt::RichText : Qt::PlainText);
        if (link) {
            QVERIFY(label->openExternalLinks());
            QCOMPARE(label->text(), QStringLiteral("<a href=\"%1\">%2</a>")
                                        .arg(url.toHtmlEscaped(), credit.toHtmlEscaped()));
        } else {
            QCOMPARE(label->text(), credit);
        }
    }
    // The light look has no credit: switching hides it at once.
    model.setEditing(Appearance::Light);
    QVERIFY(!label->isVisible());
}

void TestInspector::longCreditKeepsTheColumn()
{
    AppModel model;
    InspectorPane pane(&model);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    const QString credit = QStringLiteral("Foto von ") + QString(200, QLatin1Char('X'));
    model.bind(&Look::attribution).setValue(credit);
    model.bind(&Look::attributionURL).setValue(QStringLiteral("https://unsplash.com/@x"));
    QCoreApplication::processEvents();
    auto *label = child<CreditLabel>(pane, QStringLiteral("attribution"));
    QCOMPARE(pane.width(), InspectorPane::kWidth);
    QVERIFY(label->mapTo(&pane, QPoint(label->width(), 0)).x() <= pane.width());
    QVERIFY(label->text().contains(QStringLiteral("…")));
    QCOMPARE(label->toolTip(), credit);
    // Nothing of the effect and output sections needs more than the column leaves them.
    const auto *scroll = child<QScrollArea>(pane, QStringLiteral("inspectorScroll"));
    const int room = scroll->viewport()->width();
    QVERIFY(room <= InspectorPane::kWidth);
    QVERIFY(child<EffectSection>(pane, QString())->minimumSizeHint().width() <= room);
    QVERIFY(child<OutputSection>(pane, QString())->minimumSizeHint().width() <= room);
    QCOMPARE(scroll->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
}

QTEST_MAIN(TestInspector)
#include "tst_inspector.moc"

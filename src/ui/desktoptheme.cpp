#include "desktoptheme.h"

#include "desktop/backends/colorscheme.h"

#include <QApplication>
#include <QLabel>
#include <QPalette>
#include <QProxyStyle>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>

#include <memory>

namespace {

// Fusion, without Qt's pictograms on the buttons of dialogs (an OK with a tick and an arrow),
// which no desktop of today draws there.
class WindowStyle : public QProxyStyle
{
public:
    WindowStyle() : QProxyStyle(QStringLiteral("Fusion")) {}
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *data) const override
    {
        if (hint == SH_DialogButtonBox_ButtonsHaveIcons)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, data);
    }
};

// A light version of `colour` for text on the dark ground: links keep the accent's hue.
QColor lightened(const QColor &colour, float lightness)
{
    const QColor hsl = colour.toHsl();
    return QColor::fromHslF(hsl.hslHueF(), hsl.hslSaturationF(),
                            std::max(hsl.lightnessF(), lightness));
}

// The palette the platform gave before ours replaced it, as long as it is light (a platform
// theme may already be dark); else Fusion's own with the platform's accent.
const QPalette &platformLight()
{
    static const QPalette light = [] {
        QPalette platform = QApplication::palette();
        if (platform.color(QPalette::Window).lightnessF() >= 0.5F)
            return platform;
        const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
        QPalette fallback = fusion->standardPalette();
        for (const QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
            fallback.setColor(role, platform.color(role));
        return fallback;
    }();
    return light;
}

// Style sheets resolve palette(…) once, when a widget is polished, and a label lays out its
// links in the colours of the palette it had when given its text: those are polished, and
// given their texts, anew, once the widgets have been told the palette (which is posted).
void followPalette()
{
    for (QWidget *widget : QApplication::allWidgets()) {
        auto *label = qobject_cast<QLabel *>(widget);
        if (label &&
            (label->textFormat() == Qt::RichText ||
             (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text())))) {
            // Only a text that differs is laid out again.
            const QString text = label->text();
            label->clear();
            label->setText(text);
        }
        for (const QWidget *styled = widget; styled; styled = styled->parentWidget())
            if (!styled->styleSheet().isEmpty()) {
                widget->style()->unpolish(widget);
                widget->style()->polish(widget);
                widget->update();
                break;
            }
    }
}

} // namespace

QPalette schemePalette(const QPalette &light, bool dark)
{
    if (!dark)
        return light;
    const QColor accent = light.color(QPalette::Active, QPalette::Highlight);
    const QColor text(0xec, 0xec, 0xec), dimmed(0x80, 0x80, 0x80);
    QPalette palette;
    const auto set = [&palette](QPalette::ColorRole role, const QColor &colour) {
        palette.setColor(role, colour);
    };
    set(QPalette::Window, QColor(0x2d, 0x2d, 0x2d));
    set(QPalette::WindowText, text);
    set(QPalette::Base, QColor(0x1f, 0x1f, 0x1f));
    set(QPalette::AlternateBase, QColor(0x28, 0x28, 0x28));
    set(QPalette::ToolTipBase, QColor(0x3c, 0x3c, 0x3c));
    set(QPalette::ToolTipText, text);
    set(QPalette::PlaceholderText, QColor(0x9d, 0x9d, 0x9d));
    set(QPalette::Text, text);
    set(QPalette::Button, QColor(0x3a, 0x3a, 0x3a));
    set(QPalette::ButtonText, text);
    set(QPalette::BrightText, QColor(0xff, 0x6b, 0x6b));
    set(QPalette::Light, QColor(0x4a, 0x4a, 0x4a));
    set(QPalette::Midlight, QColor(0x42, 0x42, 0x42));
    set(QPalette::Mid, QColor(0x5a, 0x5a, 0x5a));
    set(QPalette::Dark, QColor(0x1a, 0x1a, 0x1a));
    set(QPalette::Shadow, QColor(0x0d, 0x0d, 0x0d));
    set(QPalette::Highlight, accent);
    set(QPalette::HighlightedText, light.color(QPalette::Active, QPalette::HighlightedText));
    set(QPalette::Link, lightened(accent, 0.7F));
    set(QPalette::LinkVisited, lightened(accent, 0.6F));
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::PlaceholderText})
        palette.setColor(QPalette::Disabled, role, dimmed);
    palette.setColor(QPalette::Disabled, QPalette::Button, QColor(0x33, 0x33, 0x33));
    palette.setColor(QPalette::Disabled, QPalette::Base, QColor(0x26, 0x26, 0x26));
    palette.setColor(QPalette::Disabled, QPalette::Highlight, QColor(0x50, 0x50, 0x50));
    palette.setColor(QPalette::Disabled, QPalette::HighlightedText, QColor(0xa0, 0xa0, 0xa0));
    return palette;
}

void applyColorScheme(bool dark)
{
    // Our palettes are made for Fusion; another style may draw with colours of its own.
    static const bool fusion = [] {
        QApplication::setStyle(new WindowStyle);
        return true;
    }();
    Q_UNUSED(fusion);
    QApplication::setPalette(schemePalette(platformLight(), dark));
    QMetaObject::invokeMethod(qApp, &followPalette, Qt::QueuedConnection);
}

QObject *followDesktopColorScheme(QObject *owner)
{
    auto *scheme = new ColorSchemeWatcher(QProcessEnvironment::systemEnvironment(), owner);
    QObject::connect(scheme, &ColorSchemeWatcher::darkChanged, scheme, &applyColorScheme);
    scheme->start();
    applyColorScheme(scheme->isDark());
    return scheme;
}

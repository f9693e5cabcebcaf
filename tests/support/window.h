#pragma once

#include "sources/photolibrary.h"
#include "sources/unsplashservice.h"
#include "support/fakes.h"
#include "support/testdata.h"
#include "ui/mainwindow.h"
#include "ui/thumbstrip.h"

#include <QtWidgets>

// The relative luminance of a colour as WCAG reckons it, plus the 0.05 of its contrast ratio.
inline double luminance(QRgb rgb)
{
    const auto linear = [](int c) {
        const double v = c / 255.0;
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(qRed(rgb)) + 0.7152 * linear(qGreen(rgb)) + 0.0722 * linear(qBlue(rgb)) +
           0.05;
}

// A picture's most common colour: the ground its text and lines stand on.
inline QRgb ground(const QImage &picture)
{
    QHash<QRgb, int> counts;
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y)];
    // A hash's iterator compares by its count: the maximum is the most common colour.
    return std::max_element(counts.cbegin(), counts.cend()).key();
}

// The contrast ratio (1–21) of a picture's ground to the colour farthest from it.
inline double contrast(const QImage &picture)
{
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    const double background = luminance(ground(image));
    double ratio = 1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const double l = luminance(image.pixel(x, y));
            ratio = std::max({ratio, l / background, background / l});
        }
    return ratio;
}

// The window as the program starts it, active, with the desktop replaced by a recording one.
struct Window
{
    static inline const QString kPhoto =
        TestData::photo(QStringLiteral("photo-path-2560x1600.jpg"));

    AppModel model;
    RecordingDesktop *desktop;
    MainWindow window;

    explicit Window(const std::shared_ptr<PhotoLibrary> &photos = {})
        : model({makeUnsplashClient, photos}), desktop(recordDesktop(model)),
          window(&model, nullptr, photos.get())
    {
        window.show();
        activate();
    }
    // A dialog or menu took the keyboard; the keys that follow are for the window again.
    void activate()
    {
        QApplication::setActiveWindow(&window);
        // An X display without a window manager gives the keyboard only to a window that asks.
        window.activateWindow();
        if (!QTest::qWaitForWindowActive(&window))
            qFatal("the window does not become active");
    }
    // Opens a picture into the look being edited (into both, the first time).
    bool open(const QString &path = kPhoto) { return opened(model, path); }
    // Without a name, the one of its type.
    template <typename T = QWidget> T *find(const char *name = nullptr)
    {
        return window.findChild<T *>(QLatin1String(name));
    }
    // Picks the combo box entry with that text from the keyboard.
    void choose(const char *combo, const QString &text)
    {
        auto *box = find<QComboBox>(combo);
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Home);
        while (box->currentText() != text && box->currentIndex() < box->count() - 1)
            QTest::keyClick(box, Qt::Key_Down);
        QCOMPARE(box->currentText(), text);
    }
};

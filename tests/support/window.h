#pragma once

#include "sources/photolibrary.h"
#include "sources/unsplashservice.h"
#include "support/fakes.h"
#include "support/testdata.h"
#include "ui/mainwindow.h"
#include "ui/thumbstrip.h"

#include <QtWidgets>

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

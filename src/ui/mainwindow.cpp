#include "mainwindow.h"

#include "model/appmodel.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QToolBar>

MainWindow::MainWindow(AppModel *model, QWidget *parent) : QMainWindow(parent), m_model(model)
{
    setWindowTitle(QStringLiteral("Voskan"));
    resize(1440, 840);
    setMinimumSize(1100, 660);

    QMenu *file = menuBar()->addMenu(QStringLiteral("Datei"));
    file->addAction(QStringLiteral("Öffnen…"), QKeySequence::Open, this, &MainWindow::chooseFile);
    file->addSeparator();
    file->addAction(QStringLiteral("Beenden"), QKeySequence::Quit, qApp, &QApplication::quit);

    QToolBar *bar = addToolBar(QStringLiteral("Bearbeiten"));
    bar->setMovable(false);
    m_appearance = new QComboBox(bar);
    for (const Appearance appearance : allCases<Appearance>())
        m_appearance->addItem(label(appearance), rawValue(appearance));
    bar->addWidget(m_appearance);
    connect(m_appearance, &QComboBox::activated, this, [this] {
        m_model->setEditing(*fromRawValue<Appearance>(m_appearance->currentData().toString()));
    });
    m_style = new QComboBox(bar);
    for (const WallpaperStyle style : allCases<WallpaperStyle>())
        m_style->addItem(label(style), rawValue(style));
    bar->addWidget(m_style);
    connect(m_style, &QComboBox::activated, this, [this] {
        m_model->bind(&Look::style)
            .setValue(*fromRawValue<WallpaperStyle>(m_style->currentData().toString()));
    });

    m_view = new QLabel(QStringLiteral("Öffne ein Foto mit „Datei › Öffnen…“."), this);
    m_view->setAlignment(Qt::AlignCenter);
    m_view->setMinimumSize(1, 1);
    setCentralWidget(m_view);

    connect(m_model, &AppModel::previewChanged, this, &MainWindow::showPreview);
    connect(m_model, &AppModel::errorMessageChanged, this, &MainWindow::showError);
    connect(m_model, &AppModel::editingChanged, this, &MainWindow::syncControls);
    connect(m_model, &AppModel::lightLookChanged, this, &MainWindow::syncControls);
    connect(m_model, &AppModel::darkLookChanged, this, &MainWindow::syncControls);
}

void MainWindow::chooseFile()
{
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Foto öffnen"),
        QStandardPaths::writableLocation(QStandardPaths::PicturesLocation),
        QStringLiteral(
            "Bilder (*.jpg *.jpeg *.png *.webp *.tif *.tiff *.heic *.heif *.avif *.gif)"));
    if (path.isEmpty())
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_model->openLocalImage(path);
    QApplication::restoreOverrideCursor();
}

void MainWindow::syncControls()
{
    const QSignalBlocker a(m_appearance), s(m_style);
    m_appearance->setCurrentIndex(m_appearance->findData(rawValue(m_model->editing())));
    m_style->setCurrentIndex(m_style->findData(rawValue(m_model->currentLook().style)));
    const auto &attribution = m_model->currentLook().attribution;
    setWindowTitle(attribution ? QStringLiteral("Voskan – %1").arg(*attribution)
                               : QStringLiteral("Voskan"));
}

void MainWindow::showPreview()
{
    const QImage preview = m_model->preview();
    if (preview.isNull()) {
        m_view->setPixmap({});
        m_view->setText(QStringLiteral("Kein Bild für „%1“").arg(label(m_model->editing())));
        return;
    }
    m_view->setPixmap(QPixmap::fromImage(preview).scaled(
        m_view->size() - QSize(80, 80), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

void MainWindow::showError()
{
    const auto message = m_model->errorMessage();
    if (!message)
        return;
    QMessageBox::warning(this, QStringLiteral("Fehler"), *message);
    m_model->setErrorMessage(std::nullopt);
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    showPreview();
}

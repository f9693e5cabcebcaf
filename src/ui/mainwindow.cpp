#include "mainwindow.h"

#include "model/palette.h"
#include "model/renderpipeline.h"
#include "model/valuetypes.h"
#include "render/imagedecoder.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QStandardPaths>
#include <QToolBar>

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Voskan"));
    resize(1440, 840);
    setMinimumSize(1100, 660);

    QMenu *file = menuBar()->addMenu(QStringLiteral("Datei"));
    file->addAction(QStringLiteral("Öffnen…"), QKeySequence::Open, this, &MainWindow::chooseFile);
    file->addSeparator();
    file->addAction(QStringLiteral("Beenden"), QKeySequence::Quit, qApp, &QApplication::quit);

    QToolBar *bar = addToolBar(QStringLiteral("Stil"));
    bar->setMovable(false);
    m_style = new QComboBox(bar);
    for (const WallpaperStyle style : allCases<WallpaperStyle>())
        m_style->addItem(label(style), rawValue(style));
    bar->addWidget(m_style);
    connect(m_style, &QComboBox::currentIndexChanged, this, [this] {
        m_look.style = *fromRawValue<WallpaperStyle>(m_style->currentData().toString());
        renderPreview();
    });

    m_view = new QLabel(QStringLiteral("Öffne ein Foto mit „Datei › Öffnen…“."), this);
    m_view->setAlignment(Qt::AlignCenter);
    m_view->setMinimumSize(1, 1);
    setCentralWidget(m_view);
}

void MainWindow::chooseFile()
{
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Foto öffnen"),
        QStandardPaths::writableLocation(QStandardPaths::PicturesLocation),
        QStringLiteral(
            "Bilder (*.jpg *.jpeg *.png *.webp *.tif *.tiff *.heic *.heif *.avif *.gif)"));
    if (!path.isEmpty())
        openFile(path);
}

void MainWindow::openFile(const QString &path)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const DecodeResult decoded = ImageDecoder::decodeFile(path);
    QApplication::restoreOverrideCursor();
    if (!decoded.isOk()) {
        QMessageBox::warning(this, QStringLiteral("Fehler"), decoded.errorString());
        return;
    }
    m_look.source = decoded.bitmap();
    m_look.attribution = QFileInfo(path).fileName();
    const auto palette = Palette::extractPalette(decoded.bitmap());
    m_look.flowColor0 = palette[0];
    m_look.flowColor1 = palette[1];
    m_look.flowColor2 = palette[2];
    setWindowTitle(QStringLiteral("Voskan – %1").arg(*m_look.attribution));
    renderPreview();
}

void MainWindow::renderPreview()
{
    const RenderPipeline::PixelSize size =
        RenderPipeline::pixelSize(ResolutionPreset::proDisplayXDR(), 0, 0);
    const auto bitmap = RenderPipeline::renderCG(m_look, RenderPipeline::previewSize(size), false);
    m_preview = bitmap ? bitmap->toImage() : QImage();
    showPreview();
}

void MainWindow::showPreview()
{
    if (m_preview.isNull())
        return;
    m_view->setPixmap(QPixmap::fromImage(m_preview).scaled(
        m_view->size() - QSize(80, 80), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    showPreview();
}

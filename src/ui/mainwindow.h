#pragma once

#include "model/look.h"

#include <QMainWindow>

class QComboBox;
class QLabel;

// The first window: open a photo, pick a style, see the rendered preview.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);

    void openFile(const QString &path);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void chooseFile();
    void renderPreview();
    void showPreview();

    Look m_look;
    QImage m_preview;
    QLabel *m_view = nullptr;
    QComboBox *m_style = nullptr;
};

#pragma once

#include <QMainWindow>

class AppModel;
class QComboBox;
class QLabel;

// The first window: open a photo, switch appearance and style, see the model's preview.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(AppModel *model, QWidget *parent = nullptr);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void chooseFile();
    void showPreview();
    void showError();
    void syncControls();

    AppModel *m_model;
    QLabel *m_view = nullptr;
    QComboBox *m_appearance = nullptr;
    QComboBox *m_style = nullptr;
};

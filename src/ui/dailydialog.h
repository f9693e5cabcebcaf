#pragma once

// „Täglich neu“ in the window: the search, the time and the look of the new wallpaper each day.
// The look is the one the window shows when the dialog is saved.

#include <QDialog>

class AppModel;
class QCheckBox;
class QLineEdit;
class QTimeEdit;

class DailyDialog : public QDialog
{
    Q_OBJECT

public:
    explicit DailyDialog(AppModel *model, QWidget *parent = nullptr);

    void accept() override;

Q_SIGNALS:
    // „Unsplash-Key eintragen…“: the window opens the settings at the key.
    void accessKeyWanted();

private:
    void followChoices();
    void followKey();

    AppModel *m_model;
    QCheckBox *m_enabled;
    QLineEdit *m_query;
    QTimeEdit *m_at;
    QCheckBox *m_atLogin;
    QWidget *m_keyWarning;
};

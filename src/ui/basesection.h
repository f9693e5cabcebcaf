#pragma once

#include <QWidget>

class AppModel;

// The inspector's section "Bild": where the picture comes from and the browser of that source.
class BaseImageSection : public QWidget
{
    Q_OBJECT

public:
    explicit BaseImageSection(AppModel *model, QWidget *parent = nullptr);

private:
    AppModel *m_model;
};

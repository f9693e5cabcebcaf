#pragma once

// The Unsplash search text. Typing only changes the model's query and Return alone searches, so
// no request goes out for every keystroke.

#include <QLineEdit>

class AppModel;

// The Unsplash search text. Every keystroke becomes the model's query; only Return searches.
class SearchField : public QLineEdit
{
    Q_OBJECT

public:
    explicit SearchField(AppModel *model, QWidget *parent = nullptr);

private:
    void showQuery();

    AppModel *m_model;
};

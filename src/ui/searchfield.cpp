#include "searchfield.h"

#include "icons.h"
#include "model/appmodel.h"

#include <QAction>

SearchField::SearchField(AppModel *model, QWidget *parent) : QLineEdit(parent), m_model(model)
{
    setPlaceholderText(QStringLiteral("Unsplash durchsuchen"));
    // A file dropped here belongs to the column around it, which opens pictures.
    setAcceptDrops(false);
    // The magnifier is a button too: it searches, as Return does.
    QAction *search = addAction(icon(Icon::Search), QLineEdit::LeadingPosition);
    search->setText(QStringLiteral("Suchen"));
    connect(search, &QAction::triggered, m_model, &AppModel::runSearch);
    setClearButtonEnabled(true);
    setAccessibleName(QStringLiteral("Unsplash durchsuchen"));
    // The clear button is a button of its own for a screen reader.
    if (auto *clear = findChild<QAction *>(QStringLiteral("_q_qlineeditclearaction")))
        clear->setText(QStringLiteral("Suchtext löschen"));
    setMinimumHeight(24);
    setText(m_model->query());

    // textEdited, not textChanged: only what the user types goes to the model, so showing
    // the model's query here does not write it back. The clear button counts as typing.
    connect(this, &QLineEdit::textEdited, m_model, &AppModel::setQuery);
    connect(this, &QLineEdit::returnPressed, m_model, &AppModel::runSearch);
    connect(m_model->search(), &UnsplashSearch::queryChanged, this, &SearchField::showQuery);
}

void SearchField::showQuery()
{
    // The same text is not set again, which would move the caret to the end while typing.
    const QString query = m_model->query();
    if (text() != query)
        setText(query);
}

#pragma once

// Choosing the picture, the busiest part of the inspector: three kinds of source — the Unsplash
// search, local files, an album of the photo library — each with a browser of its own, of which
// only the chosen one shows.

#include "sources/photolibraryaccess.h"

#include <QString>
#include <QWidget>

class AppModel;
class QComboBox;
class QFormLayout;
class QLabel;
class QPushButton;
class SearchField;
class Spinner;
class ThumbStrip;
class UnsplashThumbModel;
class AssetThumbModel;
class DynamicThumbModel;
class ThumbListModel;
class RecentFileThumbModel;

// The inspector's section "Bild": where the picture comes from and the browser of that source.
// A bold header "Bild" over a framed group of form rows (label left, control right); every
// row follows the model's signals and reads the model when it changes, nothing is kept here.
class BaseImageSection : public QWidget
{
    Q_OBJECT

public:
    // The referral address of the link under the Unsplash results.
    static QString unsplashLink();
    // What the Fotos browser says when it may not read the library in `folder`.
    static QString photosHint(PhotosAuthStatus status, const QString &folder);

    explicit BaseImageSection(AppModel *model, QWidget *parent = nullptr);

Q_SIGNALS:
    // „Unsplash-Key eintragen…“: the window opens the settings at the key field.
    void accessKeyRequested();

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The section's header and the framed group its form rows go in.
    QWidget *addGroup();
    void addSourcePicker(QWidget *group);
    void addUnsplashRows(QWidget *group);
    void addFileRows(QWidget *group);
    void addPhotosRows(QWidget *group);
    void addDynamicRows(QWidget *group);
    // Every row reads the model again when what it shows changes.
    void followModel();
    void updateUnsplashLink();
    void updateSourcePicker();
    void updateBrowser();
    void updateUnsplash();
    void updateFiles();
    void updatePhotos();
    void updateAlbumPicker();
    void updateDynamic();
    // A strip of `model`'s tiles as the next row of the form.
    ThumbStrip *addStrip(ThumbListModel *model, const char *name, const QString &accessibleName);
    void updateSelection();
    // Loads the album's pictures whenever the chosen album changes to one.
    void followSelectedAlbum();
    void loadAlbum(const QString &id);
    // Chooses the first album once albums are known and none is chosen.
    void chooseFirstAlbum();

    AppModel *m_model;
    QFormLayout *m_form = nullptr;
    QComboBox *m_sourcePicker = nullptr;
    QWidget *m_searchRow = nullptr;
    SearchField *m_searchField = nullptr;
    Spinner *m_searchSpinner = nullptr;
    QLabel *m_keyHint = nullptr;
    QPushButton *m_keyButton = nullptr;
    ThumbStrip *m_unsplashStrip = nullptr;
    UnsplashThumbModel *m_unsplashModel = nullptr;
    QLabel *m_unsplashLink = nullptr;
    QPushButton *m_openFileButton = nullptr;
    ThumbStrip *m_recentStrip = nullptr;
    RecentFileThumbModel *m_recentModel = nullptr;
    QLabel *m_photosHint = nullptr;
    QPushButton *m_connectPhotosButton = nullptr;
    QComboBox *m_albumPicker = nullptr;
    ThumbStrip *m_assetStrip = nullptr;
    QLabel *m_dynamicSummary = nullptr;
    ThumbStrip *m_dynamicStrip = nullptr;
    DynamicThumbModel *m_dynamicModel = nullptr;
    AssetThumbModel *m_assetModel = nullptr;
    // Not a copy of the model's state: the album seen at the last change signal, which tells
    // a change of the choice from the same choice stored again, and the last album whose
    // pictures this section asked for.
    QString m_albumID;
    QString m_requestedAlbumID;
    bool m_shownOnce = false;
};

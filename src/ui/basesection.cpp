#include "basesection.h"

#include "elidingcombobox.h"
#include "inspectorform.h"

#include "icons.h"
#include "model/appmodel.h"
#include "model/unsplashsearch.h"
#include "panels.h"
#include "searchfield.h"
#include "sources/photolibrary.h"
#include "sources/unsplashservice.h"
#include "spinner.h"
#include "thumbstrip.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QUrl>
#include <QVBoxLayout>

namespace {

constexpr int kSearchSpinnerSize = 14;

QLabel *secondaryLabel(QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setFont(InspectorSection::smallFont(label->font()));
    InspectorSection::makeSecondary(label);
    return label;
}

} // namespace

QString BaseImageSection::unsplashLink()
{
    return withReferral(QUrl(QStringLiteral("https://unsplash.com/"))).toString();
}

BaseImageSection::BaseImageSection(AppModel *model, QWidget *parent)
    : QWidget(parent), m_model(model)
{
    QWidget *group = addGroup();
    addSourcePicker(group);
    addUnsplashRows(group);
    addFileRows(group);
    addPhotosRows(group);
    addDynamicRows(group);

    const auto selection = [this]() { return m_model->currentLook().photoID; };
    for (ThumbStrip *strip : {m_unsplashStrip, m_recentStrip, m_assetStrip})
        strip->setSelectionProvider(selection);

    followModel();
    m_albumID = m_model->selectedAlbumID();
    updateSourcePicker();
    updateBrowser();
}

// Laid out like the other inspector sections, so the label columns line up.
QWidget *BaseImageSection::addGroup()
{
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(14, 12, 14, 10);
    outer->setSpacing(8);

    auto *header = new QLabel(QStringLiteral("Bild"), this);
    header->setObjectName(QStringLiteral("sectionHeader"));
    QFont headerFont = InspectorSection::smallFont(header->font());
    headerFont.setBold(true);
    header->setFont(headerFont);
    outer->addWidget(header);

    auto *group = new QFrame(this);
    group->setObjectName(QStringLiteral("sectionGroup"));
    group->setFrameShape(QFrame::NoFrame);
    outer->addWidget(group);

    m_form = new QFormLayout(group);
    m_form->setContentsMargins(0, 0, 0, 0);
    m_form->setHorizontalSpacing(8);
    m_form->setVerticalSpacing(6);
    m_form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    m_form->setRowWrapPolicy(QFormLayout::DontWrapRows);
    m_form->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    return group;
}

// "Quelle"
void BaseImageSection::addSourcePicker(QWidget *group)
{
    m_sourcePicker = new QComboBox(group);
    m_sourcePicker->setObjectName(QStringLiteral("sourcePicker"));
    m_sourcePicker->setAccessibleDescription(
        QStringLiteral("Woher das Bild kommt: Unsplash, Dateien oder Fotos"));
    for (const SourceKind kind : allCases<SourceKind>())
        m_sourcePicker->addItem(label(kind), rawValue(kind));
    m_form->addRow(QStringLiteral("Quelle"), m_sourcePicker);
    m_form->labelForField(m_sourcePicker)->setFixedWidth(InspectorSection::kLabelWidth);
    connect(m_sourcePicker, &QComboBox::activated, this, [this](int index) {
        if (index >= 0 && index < allCases<SourceKind>().size())
            m_model->sourceKindBinding().setValue(allCases<SourceKind>().at(index));
    });
}

void BaseImageSection::addUnsplashRows(QWidget *group)
{
    m_searchRow = new QWidget(group);
    auto *searchLayout = new QHBoxLayout(m_searchRow);
    searchLayout->setContentsMargins(0, 0, 0, 0);
    searchLayout->setSpacing(6);
    m_searchField = new SearchField(m_model, m_searchRow);
    m_searchField->setObjectName(QStringLiteral("searchField"));
    searchLayout->addWidget(m_searchField, 1);
    m_searchSpinner = new Spinner(kSearchSpinnerSize, m_searchRow);
    m_searchSpinner->setObjectName(QStringLiteral("searchSpinner"));
    searchLayout->addWidget(m_searchSpinner);
    m_form->addRow(m_searchRow);

    // Without a key a search can only fail: said before anyone tries, with the way to a key.
    m_keyHint = secondaryLabel(group);
    m_keyHint->setObjectName(QStringLiteral("unsplashKeyHint"));
    m_keyHint->setWordWrap(true);
    // The word joiner keeps „Access-Key“ whole where the line wraps.
    m_keyHint->setText(
        QStringLiteral(u"Für die Suche braucht Voskan einen kostenlosen Access-\u2060Key von "
                       u"Unsplash."));
    m_form->addRow(m_keyHint);
    m_keyButton = new QPushButton(QStringLiteral("Unsplash-Key eintragen…"), group);
    m_keyButton->setObjectName(QStringLiteral("unsplashKeyButton"));
    m_keyButton->setAccessibleDescription(
        QStringLiteral("Die Einstellungen öffnen, um einen Unsplash Access-Key einzutragen"));
    m_form->addRow(m_keyButton);
    connect(m_keyButton, &QPushButton::clicked, this, &BaseImageSection::accessKeyRequested);

    m_unsplashModel = new UnsplashThumbModel;
    m_unsplashStrip =
        addStrip(m_unsplashModel, "unsplashStrip", QStringLiteral("Unsplash-Treffer"));
    connect(m_unsplashStrip, &ThumbStrip::tileClicked, this, [this](int row) {
        const QList<UnsplashPhoto> results = m_model->results();
        if (row >= 0 && row < results.size())
            m_model->select(results.at(row));
    });

    m_unsplashLink = secondaryLabel(group);
    m_unsplashLink->setObjectName(QStringLiteral("unsplashLink"));
    m_unsplashLink->setTextFormat(Qt::RichText);
    updateUnsplashLink();
    // One Tab stop that Return or Space follows: Qt's keyboard links would take a second Tab
    // inside the label before leaving it.
    m_unsplashLink->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    m_unsplashLink->setFocusPolicy(Qt::TabFocus);
    m_unsplashLink->setAccessibleName(QStringLiteral("Fotos von Unsplash"));
    m_unsplashLink->setCursor(Qt::PointingHandCursor);
    m_unsplashLink->installEventFilter(this);
    connect(m_unsplashLink, &QLabel::linkActivated, this,
            [](const QString &link) { QDesktopServices::openUrl(QUrl(link)); });
    m_form->addRow(m_unsplashLink);
}

void BaseImageSection::addFileRows(QWidget *group)
{
    m_openFileButton = new QPushButton(icon(Icon::Folder), QStringLiteral("Datei öffnen…"), group);
    m_openFileButton->setObjectName(QStringLiteral("openFileButton"));
    m_openFileButton->setAccessibleDescription(
        QStringLiteral("Ein Bild von der Festplatte öffnen"));
    m_form->addRow(m_openFileButton);
    connect(m_openFileButton, &QPushButton::clicked, this,
            [this] { openImagePanel(this, m_model); });

    m_recentModel = new RecentFileThumbModel;
    m_recentStrip = addStrip(m_recentModel, "recentStrip", QStringLiteral("Zuletzt geöffnet"));
    connect(m_recentStrip, &ThumbStrip::tileClicked, this, [this](int row) {
        const QStringList files = m_model->recentFiles();
        if (row >= 0 && row < files.size())
            m_model->openLocalImage(files.at(row));
    });
}

void BaseImageSection::addPhotosRows(QWidget *group)
{
    m_photosHint = secondaryLabel(group);
    m_photosHint->setObjectName(QStringLiteral("photosHint"));
    m_photosHint->setWordWrap(true);
    m_form->addRow(m_photosHint);

    m_connectPhotosButton =
        new QPushButton(icon(Icon::PhotoAdd), QStringLiteral("Fotos-Mediathek verbinden…"), group);
    m_connectPhotosButton->setObjectName(QStringLiteral("connectPhotosButton"));
    m_connectPhotosButton->setAccessibleDescription(
        QStringLiteral("Voskan die Bilder im Bilder-Ordner lesen lassen"));
    m_form->addRow(m_connectPhotosButton);
    connect(m_connectPhotosButton, &QPushButton::clicked, m_model, &AppModel::requestPhotosAccess);

    m_albumPicker = new ElidingComboBox(group);
    m_albumPicker->setObjectName(QStringLiteral("albumPicker"));
    // Long album titles must not widen the inspector.
    m_albumPicker->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_albumPicker->setMinimumContentsLength(8);
    m_albumPicker->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_form->addRow(QStringLiteral("Album"), m_albumPicker);
    m_form->labelForField(m_albumPicker)->setFixedWidth(InspectorSection::kLabelWidth);
    connect(m_albumPicker, &QComboBox::activated, this, [this](int index) {
        if (index >= 0)
            m_model->albumBinding().setValue(m_albumPicker->itemData(index).toString());
    });

    m_assetModel = new AssetThumbModel;
    m_assetStrip = addStrip(m_assetModel, "assetStrip", QStringLiteral("Fotos im Album"));
    connect(m_assetStrip, &ThumbStrip::tileClicked, this, [this](int row) {
        const QList<PhotoAsset> assets = m_model->albumAssets();
        if (row >= 0 && row < assets.size())
            m_model->selectAlbumAsset(assets.at(row));
    });
}

// A dynamic wallpaper made elsewhere, with the source it came from.
void BaseImageSection::addDynamicRows(QWidget *group)
{
    m_dynamicSummary = secondaryLabel(group);
    m_dynamicSummary->setObjectName(QStringLiteral("dynamicSummary"));
    m_dynamicSummary->setWordWrap(true);
    m_form->addRow(m_dynamicSummary);
    m_dynamicModel = new DynamicThumbModel;
    m_dynamicStrip = addStrip(m_dynamicModel, "dynamicStrip",
                              QStringLiteral("Bilder des dynamischen Wallpapers"));
    connect(m_dynamicStrip, &ThumbStrip::tileClicked, m_model, &AppModel::showDynamicPicture);
    connect(m_model, &AppModel::dynamicWallpaperChanged, this, &BaseImageSection::updateDynamic);
    updateDynamic();
}

void BaseImageSection::followModel()
{
    connect(m_model, &AppModel::selectedSourceChanged, this, [this] {
        updateSourcePicker();
        updateBrowser();
        updateDynamic();
        followSelectedAlbum();
    });
    UnsplashSearch *search = m_model->search();
    connect(search, &UnsplashSearch::accessKeyChanged, this, &BaseImageSection::updateUnsplash);
    connect(search, &UnsplashSearch::resultsChanged, this, &BaseImageSection::updateUnsplash);
    connect(search, &UnsplashSearch::isSearchingChanged, this, &BaseImageSection::updateUnsplash);
    connect(m_model->loader(), &PictureLoader::recentFilesChanged, this,
            &BaseImageSection::updateFiles);
    LibraryBrowser *library = m_model->library();
    connect(library, &LibraryBrowser::authStatusChanged, this, &BaseImageSection::updatePhotos);
    connect(library, &LibraryBrowser::assetsChanged, this, &BaseImageSection::updatePhotos);
    connect(library, &LibraryBrowser::albumsChanged, this, [this] {
        updatePhotos();
        chooseFirstAlbum();
    });
    connect(m_model, &AppModel::editingChanged, this, &BaseImageSection::updateSelection);
    connect(m_model, &AppModel::lightLookChanged, this, &BaseImageSection::updateSelection);
    connect(m_model, &AppModel::darkLookChanged, this, &BaseImageSection::updateSelection);
}

ThumbStrip *BaseImageSection::addStrip(ThumbListModel *model, const char *name,
                                       const QString &accessibleName)
{
    auto *strip = new ThumbStrip(model, m_form->parentWidget());
    strip->setObjectName(QString::fromLatin1(name));
    strip->setAccessibleName(accessibleName);
    m_form->addRow(strip);
    return strip;
}

void BaseImageSection::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_shownOnce)
        return;
    m_shownOnce = true;
    // The album chosen before the section existed still needs its pictures, unless they
    // were asked for since.
    const QString id = m_model->selectedAlbumID();
    m_albumID = id;
    if (!id.isEmpty() && id != m_requestedAlbumID)
        loadAlbum(id);
}

void BaseImageSection::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // The link's colour is written into its text; a switch to the dark look must reach it.
    if (event->type() == QEvent::PaletteChange && m_unsplashLink)
        updateUnsplashLink();
}

bool BaseImageSection::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_unsplashLink)
        return QWidget::eventFilter(watched, event);
    // Its colour is written into its text: a new palette needs a new text.
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut ||
        event->type() == QEvent::PaletteChange)
        updateUnsplashLink();
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
            Q_EMIT m_unsplashLink->linkActivated(unsplashLink());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void BaseImageSection::updateUnsplashLink()
{
    // A link would take the palette's link colour; this one is small print like the rest —
    // until the keyboard reaches it, when it stands out as the control it then is.
    const bool focused = m_unsplashLink->hasFocus();
    const QColor color = m_unsplashLink->palette().color(
        focused ? QPalette::Highlight : m_unsplashLink->foregroundRole());
    m_unsplashLink->setText(
        QStringLiteral("<a href=\"%1\" style=\"color:%2; text-decoration:%3;\">%4</a>")
            .arg(unsplashLink().toHtmlEscaped(), color.name(QColor::HexArgb),
                 focused ? QStringLiteral("underline") : QStringLiteral("none"),
                 QStringLiteral("Fotos von Unsplash")));
}

void BaseImageSection::updateSourcePicker()
{
    const QSignalBlocker blocker(m_sourcePicker);
    m_sourcePicker->setCurrentIndex(
        int(allCases<SourceKind>().indexOf(m_model->sourceKindBinding().value())));
}

void BaseImageSection::updateBrowser()
{
    updateUnsplash();
    updateFiles();
    updatePhotos();
}

void BaseImageSection::updateUnsplash()
{
    const bool shown = m_model->sourceKind() == SourceKind::Unsplash;
    const QList<UnsplashPhoto> results = m_model->results();
    m_unsplashModel->setPhotos(results);
    m_searchSpinner->setVisible(m_model->isSearching());
    m_form->setRowVisible(m_searchRow, shown);
    const bool keyless = shown && m_model->search()->needsAccessKey();
    m_form->setRowVisible(m_keyHint, keyless);
    m_form->setRowVisible(m_keyButton, keyless);
    m_form->setRowVisible(m_unsplashStrip, shown && !results.isEmpty());
    m_form->setRowVisible(m_unsplashLink, shown);
}

void BaseImageSection::updateFiles()
{
    const bool shown = m_model->sourceKind() == SourceKind::Files;
    const QStringList files = m_model->recentFiles();
    m_recentModel->setPaths(files);
    m_form->setRowVisible(m_openFileButton, shown);
    m_form->setRowVisible(m_recentStrip, shown && !files.isEmpty());
}

void BaseImageSection::updatePhotos()
{
    const bool shown = m_model->sourceKind() == SourceKind::Photos;
    const PhotosAuthStatus status = m_model->photosAuthStatus();
    const bool refused =
        status == PhotosAuthStatus::Restricted || status == PhotosAuthStatus::Denied;
    const bool authorized = status == PhotosAuthStatus::Authorized;
    const bool hasAlbums = !m_model->photoAlbums().isEmpty();
    const QList<PhotoAsset> assets = m_model->albumAssets();
    updateAlbumPicker();
    m_assetModel->setAssets(assets);
    if (refused)
        m_photosHint->setText(photosHint(status, PhotoLibrary::defaultRoot()));
    m_form->setRowVisible(m_photosHint, shown && refused);
    m_form->setRowVisible(m_connectPhotosButton,
                          shown && status == PhotosAuthStatus::NotDetermined);
    m_form->setRowVisible(m_albumPicker, shown && authorized && hasAlbums);
    m_form->setRowVisible(m_assetStrip, shown && authorized && hasAlbums && !assets.isEmpty());
}

QString BaseImageSection::photosHint(PhotosAuthStatus status, const QString &folder)
{
    if (status != PhotosAuthStatus::Restricted)
        return QStringLiteral("Kein Fotos-Zugriff — in den Einstellungen erlauben.");
    // The settings switch is off for a folder that is not there; only the folder helps.
    if (folder.isEmpty())
        return QStringLiteral("Es ist kein Bilder-Ordner eingerichtet. Setze VOSKAN_PHOTOS_DIR "
                              "auf einen Ordner mit Bildern.");
    const QString shown = QDir::toNativeSeparators(folder);
    const QString elsewhere = QStringLiteral("setze VOSKAN_PHOTOS_DIR auf einen anderen Ordner.");
    if (!QFileInfo::exists(folder))
        return QStringLiteral("Der Bilder-Ordner „%1“ fehlt. Lege ihn an oder ").arg(shown) +
               elsewhere;
    return QStringLiteral("Der Bilder-Ordner „%1“ ist nicht lesbar. Ändere seine Rechte oder ")
               .arg(shown) +
           elsewhere;
}

void BaseImageSection::updateDynamic()
{
    const auto &dynamic = m_model->dynamicWallpaper();
    if (dynamic) {
        m_dynamicSummary->setText(dynamic->summary);
        m_dynamicModel->setPictures(dynamic->path, dynamic->pictures);
    }
    m_form->setRowVisible(m_dynamicSummary, m_model->listsDynamicWallpaper());
    m_form->setRowVisible(m_dynamicStrip, m_model->listsDynamicWallpaper());
}

void BaseImageSection::updateAlbumPicker()
{
    const QSignalBlocker blocker(m_albumPicker);
    const QList<PhotoAlbum> albums = m_model->photoAlbums();
    bool same = m_albumPicker->count() == albums.size();
    for (int i = 0; same && i < albums.size(); ++i) {
        same = m_albumPicker->itemText(i) == albums.at(i).title &&
               m_albumPicker->itemData(i).toString() == albums.at(i).id;
    }
    if (!same) {
        m_albumPicker->clear();
        for (const PhotoAlbum &album : albums)
            m_albumPicker->addItem(album.title, album.id);
    }
    m_albumPicker->setCurrentIndex(m_albumPicker->findData(m_model->albumBinding().value()));
}

void BaseImageSection::updateSelection()
{
    for (ThumbStrip *strip : {m_unsplashStrip, m_recentStrip, m_assetStrip})
        strip->refresh();
}

void BaseImageSection::followSelectedAlbum()
{
    // selectedSourceChanged also fires when the same source is stored again; only a change
    // of the album loads.
    const QString id = m_model->selectedAlbumID();
    if (id == m_albumID)
        return;
    m_albumID = id;
    if (!id.isEmpty())
        loadAlbum(id);
}

void BaseImageSection::loadAlbum(const QString &id)
{
    m_requestedAlbumID = id;
    m_model->loadAlbumAssets(id);
}

void BaseImageSection::chooseFirstAlbum()
{
    const QList<PhotoAlbum> albums = m_model->photoAlbums();
    if (m_model->sourceKind() == SourceKind::Photos && m_model->selectedAlbumID().isEmpty() &&
        !albums.isEmpty())
        m_model->setSelectedAlbumID(albums.first().id);
}

#include "settingsdialog.h"

#include "inspectorform.h"

#include "model/appmodel.h"
#include "model/secrets.h"
#include "model/usersettings.h"
#include "sources/photolibrary.h"

#include <QCheckBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

constexpr int kWidth = 460;
constexpr int kMargin = 20;

QLabel *header(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

QLabel *caption(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setFont(InspectorSection::smallFont(label->font()));
    InspectorSection::makeSecondary(label);
    label->setWordWrap(true);
    return label;
}

} // namespace

SettingsDialog::SettingsDialog(AppModel *model, PhotoLibrary *photos, QWidget *parent)
    : QDialog(parent), m_model(model), m_photos(photos), m_key(new QLineEdit(this))
{
    setObjectName(QStringLiteral("settingsDialog"));
    setWindowTitle(QStringLiteral("Einstellungen"));
    setFixedWidth(kWidth);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    column->setSpacing(8);
    // No SetFixedSize: it would shrink the window to its contents' width; fitHeight() keeps
    // the width and follows the texts.

    column->addWidget(header(QStringLiteral("Unsplash Access-Key"), this));
    // The placeholder is gone once a key is typed; the label stays.
    auto *keyRow = new QHBoxLayout;
    auto *keyLabel = new QLabel(QStringLiteral("Access-Key"), this);
    keyLabel->setObjectName(QStringLiteral("accessKeyLabel"));
    keyLabel->setBuddy(m_key);
    keyRow->addWidget(keyLabel);
    m_key->setObjectName(QStringLiteral("accessKeyField"));
    m_key->setPlaceholderText(QStringLiteral("Access-Key (optional)"));
    m_key->setAccessibleName(QStringLiteral("Access-Key (optional)"));
    m_key->setClearButtonEnabled(true);
    keyRow->addWidget(m_key, 1);
    column->addLayout(keyRow);
    // Every keystroke is the model's key at once; Return or leaving the field adds nothing.
    connect(m_key, &QLineEdit::textEdited, m_model, &AppModel::setAccessKey);
    connect(m_model->search(), &UnsplashSearch::accessKeyChanged, this, &SettingsDialog::followKey);
    followKey();

    auto *footer = new QVBoxLayout;
    footer->setSpacing(4);
    auto *hint = caption(keyHint(Secrets::unsplashKey()), this);
    hint->setObjectName(QStringLiteral("accessKeyHint"));
    footer->addWidget(hint);
    auto *link =
        caption(QStringLiteral("<a href=\"https://%1\">%1 öffnen</a>").arg(kDeveloperPage), this);
    link->setObjectName(QStringLiteral("developerLink"));
    link->setTextFormat(Qt::RichText);
    link->setOpenExternalLinks(true);
    link->setForegroundRole(QPalette::WindowText);
    footer->addWidget(link);
    column->addLayout(footer);

    column->addSpacing(14);
    column->addWidget(header(QStringLiteral("Sonnenstand"), this));
    auto *placeRow = new QHBoxLayout;
    m_latitude = addDegreesField(placeRow, "latitudeField", QStringLiteral("Breite"));
    m_longitude = addDegreesField(placeRow, "longitudeField", QStringLiteral("Länge"));
    column->addLayout(placeRow);
    column->addWidget(caption(QStringLiteral("Für Wallpaper, die dem Sonnenstand folgen: der Ort "
                                             "in Grad, Norden und Osten positiv. Leer gilt die "
                                             "Stadt der Zeitzone."),
                              this));
    // What was typed or stored and is no place says so here; the fields show what holds.
    m_locationNote = caption(QString(), this);
    m_locationNote->setObjectName(QStringLiteral("locationNote"));
    m_locationNote->setForegroundRole(QPalette::WindowText);
    column->addWidget(m_locationNote);
    showLocation();

    if (m_photos) {
        column->addSpacing(14);
        column->addWidget(header(QStringLiteral("Fotos-Mediathek"), this));
        auto *folder = new QLabel(QDir::toNativeSeparators(m_photos->root()), this);
        folder->setObjectName(QStringLiteral("photosFolder"));
        folder->setTextInteractionFlags(Qt::TextSelectableByMouse);
        folder->setWordWrap(true);
        column->addWidget(folder);
        m_allow = new QCheckBox(QStringLiteral("Zugriff erlauben"), this);
        m_allow->setObjectName(QStringLiteral("allowPhotosAccess"));
        column->addWidget(m_allow);
        m_photosNote = caption(QString(), this);
        m_photosNote->setObjectName(QStringLiteral("photosNote"));
        column->addWidget(m_photosNote);
        connect(m_allow, &QCheckBox::clicked, this, [this](bool allowed) {
            m_photos->setAccess(allowed);
            m_model->refreshPhotosAuthStatus();
        });
        connect(m_model->library(), &LibraryBrowser::authStatusChanged, this,
                &SettingsDialog::followPhotos);
        followPhotos();
    }
    fitHeight();
}

QString SettingsDialog::keyHint(const QString &builtInKey)
{
    if (!builtInKey.isEmpty())
        return QStringLiteral("Ein Key ist bereits hinterlegt (gemeinsames Ratenlimit). Für ein "
                              "eigenes Limit unter %1 einen Key erstellen und hier einsetzen.")
            .arg(kDeveloperPage);
    return QStringLiteral("Für die Suche wird ein kostenloser Access-Key von Unsplash benötigt: "
                          "%1 → „Your apps“ → „New Application“.")
        .arg(kDeveloperPage);
}

SettingsDialog::~SettingsDialog()
{
    // A place field losing the focus as the dialog goes would commit into half a dialog; one
    // that closes first has committed already, on that same loss of focus.
    m_latitude->disconnect(this);
    m_longitude->disconnect(this);
}

void SettingsDialog::focusAccessKey()
{
    m_key->setFocus(Qt::OtherFocusReason);
}

QLineEdit *SettingsDialog::addDegreesField(QHBoxLayout *row, const char *name, const QString &label)
{
    auto *field = new QLineEdit(this);
    field->setObjectName(QString::fromLatin1(name));
    field->setAccessibleName(label);
    field->setPlaceholderText(QStringLiteral("Zeitzone"));
    auto *text = new QLabel(label, this);
    text->setBuddy(field);
    row->addWidget(text);
    row->addWidget(field, 1);
    connect(field, &QLineEdit::editingFinished, this, &SettingsDialog::commitLocation);
    return field;
}

void SettingsDialog::commitLocation()
{
    // Both fields empty: the zone's city again. One still empty: the other is being typed.
    // Anything that is no place goes back to what is stored.
    const QString latitude = m_latitude->text().trimmed(),
                  longitude = m_longitude->text().trimmed();
    if (latitude.isEmpty() && longitude.isEmpty()) {
        setUserLocation(std::nullopt);
        showLocation();
        return;
    }
    if (latitude.isEmpty() || longitude.isEmpty())
        return;
    const auto north = parseDegrees(latitude, 90), east = parseDegrees(longitude, 180);
    if (!north || !east) {
        showLocation(locationProblem(latitude, longitude));
        return;
    }
    setUserLocation(GeoLocation{*north, *east});
    showLocation();
}

void SettingsDialog::showLocation(const std::optional<QString> &typedProblem)
{
    const std::optional<GeoLocation> location = userLocation();
    m_latitude->setText(location ? QString::number(location->latitude) : QString());
    m_longitude->setText(location ? QString::number(location->longitude) : QString());
    const std::optional<QString> problem = typedProblem ? typedProblem : userLocationProblem();
    m_locationNote->setText(problem.value_or(QString()));
    m_locationNote->setVisible(problem.has_value());
    fitHeight();
}

void SettingsDialog::fitHeight()
{
    QLayout *column = layout();
    setFixedHeight(column->hasHeightForWidth() ? column->totalHeightForWidth(kWidth)
                                               : column->totalSizeHint().height());
}

void SettingsDialog::followKey()
{
    // Equal text is left alone so the caret stays where the user is typing.
    if (m_key->text() != m_model->accessKey())
        m_key->setText(m_model->accessKey());
}

void SettingsDialog::followPhotos()
{
    const PhotosAuthStatus status = m_model->photosAuthStatus();
    m_allow->setChecked(status == PhotosAuthStatus::Authorized);
    m_allow->setEnabled(status != PhotosAuthStatus::Restricted);
    m_photosNote->setText(
        status == PhotosAuthStatus::Restricted
            ? QStringLiteral("Der Ordner fehlt oder ist nicht lesbar.")
            : QStringLiteral("Voskan liest Bilder aus diesem Ordner und seinen Unterordnern und "
                             "legt gesicherte Wallpaper im Unterordner „Voskan“ ab."));
    fitHeight();
}

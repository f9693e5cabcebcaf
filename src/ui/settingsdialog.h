#pragma once

// The few choices that belong to the person rather than to a wallpaper — their own Unsplash
// access key, and whether the photo library may be read — kept out of the inspector, which shows
// only the wallpaper being edited.

#include <QDialog>

#include <optional>

class AppModel;
class PhotoLibrary;
class QCheckBox;
class QLabel;
class QHBoxLayout;
class QLineEdit;

// The settings window: the user's own Unsplash access key and access to the photo library.
// Every change takes effect at once; there is nothing to confirm.
class SettingsDialog : public QDialog
{
    Q_OBJECT

public:
    static inline const QString kDeveloperPage = QStringLiteral("unsplash.com/developers");

    // Without a library the "Fotos-Mediathek" section is left out.
    SettingsDialog(AppModel *model, PhotoLibrary *photos, QWidget *parent = nullptr);
    ~SettingsDialog() override;

    // The line under the key field, for a binary with `builtInKey` (Secrets::unsplashKey()).
    static QString keyHint(const QString &builtInKey);

    // The keyboard to the key field, for whoever came to enter a key.
    void focusAccessKey();

private:
    // As wide as designed, as high as the wrapped texts need at that width.
    void fitHeight();
    void followKey();
    QLineEdit *addDegreesField(QHBoxLayout *row, const char *name, const QString &label);
    void commitLocation();
    // The stored place in the fields; the note says what is wrong with what was typed, else
    // with what is stored.
    void showLocation(const std::optional<QString> &typedProblem = std::nullopt);
    void followPhotos();

    AppModel *m_model;
    PhotoLibrary *m_photos;
    QLineEdit *m_key;
    QLineEdit *m_latitude = nullptr;
    QLineEdit *m_longitude = nullptr;
    QLabel *m_locationNote = nullptr;
    QCheckBox *m_allow = nullptr;
    QLabel *m_photosNote = nullptr;
};

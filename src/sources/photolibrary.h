#pragma once

// The photo library source as the program has it on Linux: a folder stands in for a library, and
// what a library service would settle — whether the program may read it, what an album is, which
// picture is which across launches — is settled here. The model sees it only as
// PhotoLibraryAccess; the window uses it directly for the access prompt and switch.

#include "photolibraryaccess.h"

#include <QHash>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

// The photo library on Linux: the user's Pictures folder. "Alle Fotos" is every picture
// below it, each direct subfolder holding pictures is an album of the pictures directly in
// it. Whether Voskan may read the folder is asked once and remembered in the settings.
class PhotoLibrary final : public PhotoLibraryAccess
{
public:
    // The id of "Alle Fotos"; the other ids are 40 hex digits and never equal it.
    static inline const QString kAllPhotosId = QStringLiteral("all");
    static constexpr int kMaxAssets = 200;

    // $VOSKAN_PHOTOS_DIR when set, else the XDG Pictures folder; empty when there is none.
    static QString defaultRoot();
    // At defaultRoot().
    PhotoLibrary();
    explicit PhotoLibrary(const QString &root);
    ~PhotoLibrary() override;
    PhotoLibrary(const PhotoLibrary &) = delete;
    PhotoLibrary &operator=(const PhotoLibrary &) = delete;

    QString root() const { return m_root; }

    // Asked by requestAuthorization on the main thread; answers true for "Erlauben".
    using Prompt = std::function<bool(const QString &question)>;
    void setPrompt(Prompt prompt) { m_prompt = std::move(prompt); }
    // The question the prompt is given.
    QString accessQuestion() const;
    // The settings window's switch: grants or withdraws access without asking.
    void setAccess(bool allowed);

    PhotosAuthStatus authorizationStatus() const override;
    void requestAuthorization(std::function<void(PhotosAuthStatus)> done) override;
    void loadAlbums(std::function<void(QList<PhotoAlbum>)> done) override;
    void loadAssets(const QString &albumId, std::function<void(QList<PhotoAsset>)> done) override;
    void loadImage(const QString &assetId,
                   std::function<void(std::optional<Bitmap>)> done) override;
    void addToAlbum(const QString &file, const QString &album,
                    std::function<void(std::optional<PhotosExportError>)> done) override;

    // The stable id of a file or folder below `root`, by its path relative to it.
    static QString idForPath(const QString &root, const QString &path);

private:
    bool accessGranted() const { return authorizationStatus() == PhotosAuthStatus::Authorized; }

    QString m_root;
    Prompt m_prompt;
    // Cleared on destruction, so work finishing after it delivers nothing.
    std::shared_ptr<std::atomic<bool>> m_alive;
    // Paths of the assets handed out, so loadImage need not search the folder again.
    QHash<QString, QString> m_assetPaths;
};

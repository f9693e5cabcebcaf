#include "fileerror.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>

QString description(FileError error)
{
    switch (error) {
    case FileError::FolderMissing:
        return QStringLiteral("Der Zielordner existiert nicht.");
    case FileError::NotAFolder:
        return QStringLiteral("Ein Teil des Pfads ist eine Datei und kein Ordner.");
    case FileError::NoPermission:
        return QStringLiteral("Keine Berechtigung, dort zu schreiben.");
    case FileError::ReadOnly:
        return QStringLiteral("Der Datenträger ist schreibgeschützt.");
    case FileError::IsFolder:
        return QStringLiteral("Am Ziel liegt ein Ordner.");
    case FileError::NotRegular:
        return QStringLiteral("Am Ziel liegt keine gewöhnliche Datei (Gerät, Pipe oder Socket); "
                              "sie bleibt, wie sie ist.");
    case FileError::DanglingLink:
        return QStringLiteral("Das Ziel ist eine Verknüpfung auf eine Datei, die es nicht gibt.");
    case FileError::WriteProtected:
        return QStringLiteral(
            "Die vorhandene Datei ist schreibgeschützt; sie bleibt, wie sie ist.");
    case FileError::DiskFull:
        return QStringLiteral("Auf dem Datenträger ist nicht genug Platz frei.");
    case FileError::TooLargeForVolume:
        return QStringLiteral("Die Datei ist zu groß für diesen Datenträger.");
    case FileError::QuotaExceeded:
        return QStringLiteral("Das Speicherkontingent auf dem Datenträger ist erschöpft.");
    case FileError::NameTooLong:
        return QStringLiteral("Der Dateiname ist zu lang.");
    case FileError::InputOutput:
        return QStringLiteral("Der Datenträger meldet einen Schreibfehler.");
    case FileError::Other:
        break;
    }
    return QStringLiteral("Die Datei konnte nicht geschrieben werden.");
}

QString descriptionAt(FileError error, const QString &path)
{
    const QFileInfo file(path);
    const QString folder = QDir::toNativeSeparators(file.absolutePath());
    switch (error) {
    case FileError::IsFolder:
    case FileError::NotRegular:
    case FileError::DanglingLink:
    case FileError::WriteProtected:
    case FileError::NameTooLong:
        return QStringLiteral("„%1“ in „%2“ kann nicht geschrieben werden: %3 Wähle einen anderen "
                              "Namen oder Ordner.")
            .arg(file.fileName(), folder, description(error));
    case FileError::FolderMissing:
    case FileError::NotAFolder:
    case FileError::NoPermission:
    case FileError::ReadOnly:
    case FileError::DiskFull:
    case FileError::TooLargeForVolume:
    case FileError::QuotaExceeded:
    case FileError::InputOutput:
    case FileError::Other:
        break;
    }
    return QStringLiteral("In „%1“ kann nicht geschrieben werden: %2 Wähle einen anderen Ordner.")
        .arg(folder, description(error));
}

FileError fileErrorFromErrno(int errnum)
{
    switch (errnum) {
    case ENOENT:
        return FileError::FolderMissing;
    case ENOTDIR:
        return FileError::NotAFolder;
    case EACCES:
    case EPERM:
        return FileError::NoPermission;
    case EROFS:
        return FileError::ReadOnly;
    case EISDIR:
        return FileError::IsFolder;
    case ENXIO:
    case ENODEV:
    case ESPIPE:
        return FileError::NotRegular;
    case ELOOP:
        return FileError::DanglingLink;
    case ENOSPC:
        return FileError::DiskFull;
    case EFBIG:
        return FileError::TooLargeForVolume;
    case EDQUOT:
        return FileError::QuotaExceeded;
    case ENAMETOOLONG:
        return FileError::NameTooLong;
    case EIO:
        return FileError::InputOutput;
    default:
        return FileError::Other;
    }
}

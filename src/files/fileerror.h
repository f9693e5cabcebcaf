#pragma once

// Why a file could not be written, shared by every writer the program has — OutputFile and the
// HEIC and PNG writers on top of it — so that an errno is translated in one place and a full disk
// reads the same whichever of them met it.

#include <QString>

// Why a file could not be written where the user asked for it.
enum class FileError {
    FolderMissing,
    NotAFolder, // a part of the path is a file
    NoPermission,
    ReadOnly,       // the file system is mounted read-only
    IsFolder,       // a folder sits at the destination
    NotRegular,     // a device, pipe or socket sits at the destination
    DanglingLink,   // a symbolic link to nothing sits at the destination
    WriteProtected, // a file there this user may not change (though the folder lets us replace it)
    DiskFull,
    TooLargeForVolume, // e.g. over 4 GB on FAT
    QuotaExceeded,
    NameTooLong,
    InputOutput,
    Other,
};

// The German text shown to the user: a whole sentence.
QString description(FileError error);
// The same for a file the person chose at `path`: which folder or name it was, and what to do
// instead — another folder when the place cannot take it, another name when the name cannot be.
QString descriptionAt(FileError error, const QString &path);

// The one place where an errno of a file operation becomes a FileError.
FileError fileErrorFromErrno(int errnum);

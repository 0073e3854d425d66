#pragma once
// What the embedded server creates is its owner's only: the server folder (0700), master with
// the login hashes, every database, their logs and the process list (0600), whatever the umask.
// SQLite gives a database's -wal, -shm and -journal files the mode of the database file, so a
// database made here keeps its logs private too. A folder or file that already exists (made by
// another tool or by the user) keeps the mode it has.

#include <QString>

namespace data::embedded {

// Makes the folder with mode 0700 when it is missing (its missing parents as the umask says);
// false when it is still missing or is no folder.
bool makePrivateFolder(const QString& path);

// Creates the file empty with mode 0600 when it does not exist yet; an existing file is left
// as it is. A failure is left for the caller's own open to report.
void createPrivateFile(const QString& path);

}  // namespace data::embedded

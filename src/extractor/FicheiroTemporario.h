#pragma once
// A file written beside its final path and put in its place only when it is whole: a failure
// anywhere leaves the previous file of that name untouched and never a half-written one.
//
// Where the folder's file system allows, the bytes go to an unnamed file that gets a name only
// when complete; elsewhere (network shares) to a named one from the start. That name is the
// final name, ".incompleto-" and six random characters, so that a process killed in the middle
// (a power cut, a kill -9) leaves a name no other program uses: every writer removes such
// leftovers of the folder before it starts, and only them, so they never pile up over years of
// unattended runs. A file replaced keeps the permissions of the one it replaces.

#include <QString>

class FicheiroTemporario {
public:
    explicit FicheiroTemporario(QString path);
    // Not committed: the temporary file is removed.
    ~FicheiroTemporario();
    FicheiroTemporario(const FicheiroTemporario&) = delete;
    FicheiroTemporario& operator=(const FicheiroTemporario&) = delete;

    // Creates the temporary file (once). False with errorString() on failure.
    bool open();
    // Appends; false with errorString() when not all was written (the file is then dropped).
    bool write(const char* data, qint64 size);
    // Brings the bytes to the disk and puts the file in place of the final path.
    bool commit();
    QString errorString() const { return erro_; }

    // The leftovers of writers killed in `folder`: removed. Returns how many.
    static int removeRestos(const QString& folder);

private:
    bool falha(int numero);
    void descarta();
    // A free temporary name for the file; the unnamed file is linked to it.
    bool daNome();

    QString path_;
    QString temporario_;  // empty while the file has no name
    int fd_ = -1;
    QString erro_;
};

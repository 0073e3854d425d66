#pragma once
// The zip control of the hidden form frmCtrls. The export writer drives it only through
// numbered properties, the way it drove the outside control it stands for: it writes the
// options, the file to put into the zip file, the working folder and the zip file's path, and
// then assigns the action property, whose assignment compresses and returns when the zip file
// is complete.
//
// Numbered properties:
//    1  text     the zip file to create (read back by the writer to find it)
//    2  text     the file to put into it: a full path, possibly between double quotes
//    8  integer  compression level, 0 (stored) to 9; other values use the default level
//   11  text     a working folder; kept, since the zip file is built beside its final name
//   15, 17, 28, 46  Boolean options; kept and read back, with no effect on the zip file
//   40  integer  the action: 4 compresses; reading it gives the last action
//   41  integer  read only: 0 after a successful action, otherwise the failure's number
//   42  text     read only: the failure's text, "" after a successful action
//
// The zip file holds the file under its own name (no folder). It is built under a temporary
// name in the zip file's folder and renamed when complete; a zip file left at the path by an
// earlier action is removed first, so after a failed action no file carries the path and the
// writer can tell the failure from a file that is missing or empty.
//
// Writing a property the control does not have raises error 438; a value of the wrong kind
// raises the conversion's error (13, type mismatch; 6, overflow). A failed action raises
// nothing: its outcome is in properties 41 and 42.

#include <QString>
#include <cstdint>
#include <map>

#include "data/variant.h"

namespace DZACTXLibCtl {

class dzactxctrl {
public:
    // Property numbers.
    static constexpr int kZipFile = 1;
    static constexpr int kItem = 2;
    static constexpr int kLevel = 8;
    static constexpr int kWorkFolder = 11;
    static constexpr int kOption15 = 15;
    static constexpr int kOption17 = 17;
    static constexpr int kOption28 = 28;
    static constexpr int kAction = 40;
    static constexpr int kErrorNumber = 41;
    static constexpr int kErrorText = 42;
    static constexpr int kOption46 = 46;

    // Action values.
    static constexpr std::int16_t kActionAdd = 4;

    // Failure numbers of property 41.
    static constexpr std::int32_t kErrNone = 0;
    static constexpr std::int32_t kErrNoItem = 1;       // property 2 names no file
    static constexpr std::int32_t kErrNoZipFile = 2;    // property 1 is empty
    static constexpr std::int32_t kErrItemMissing = 3;  // the file to compress cannot be read
    static constexpr std::int32_t kErrCannotWrite = 4;  // the zip file cannot be made
    static constexpr std::int32_t kErrBadAction = 5;    // an action value the control lacks

    dzactxctrl();

    data::Variant property(int number) const;
    void setProperty(int number, const data::Variant& value);

private:
    void Compress();
    void Fail(std::int32_t number, const QString& text);

    QString zipFile_;
    QString item_;
    std::int16_t level_ = -1;
    QString workFolder_;
    std::map<int, bool> options_;
    std::int16_t action_ = 0;
    std::int32_t errorNumber_ = kErrNone;
    QString errorText_;
};

}  // namespace DZACTXLibCtl

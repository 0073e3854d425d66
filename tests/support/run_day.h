#pragma once
// The moment every run test works at (7 March 2017, 14:05:09, so the file is NRT170307.MOV)
// and a temporary folder of the test's own for the zipped copies ("Temp"); both are undone
// when the object goes, so no later test inherits them.

#include <QDateTime>
#include <QTemporaryDir>

#include "platform/clock.h"

namespace testsupport {

class RunDay {
public:
    static QDateTime instant() { return QDateTime(QDate(2017, 3, 7), QTime(14, 5, 9), Qt::UTC); }

    RunDay() {
        platform::setClock([] { return instant(); });
        qputenv("Temp", temp_.path().toLocal8Bit());
    }
    ~RunDay() {
        platform::setClock({});
        qunsetenv("Temp");
    }
    RunDay(const RunDay&) = delete;
    RunDay& operator=(const RunDay&) = delete;

    QString temp() const { return temp_.path(); }

private:
    QTemporaryDir temp_;
};

}  // namespace testsupport

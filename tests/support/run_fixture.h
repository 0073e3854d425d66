#pragma once
// What the whole-run tests share: an export folder, the pinned moment and temporary folder, the
// company and staging databases, a host that records the run's panels and messages, and a mail
// window that records its calls; runs over the period 1 January to 7 March 2017 (cut-off 3).

#include <gtest/gtest.h>

#include <QStringList>
#include <QTemporaryDir>
#include <utility>
#include <vector>

#include "data/connection.h"
#include "extractor/clsVelmora.h"
#include "support/company_db.h"
#include "support/recording_mail.h"
#include "support/recording_run_host.h"
#include "support/run_day.h"

namespace testsupport {

class RunFixture : public ::testing::Test {
protected:
    using Rows = std::vector<std::pair<QString, QString>>;

    RunFixture() { host_.mail = &mail_; }

    void run(bool manual = false) { run(*db_.geral, manual); }
    void run(data::Connection& geral, bool manual = false) {
        clsVelmora v;
        v.Processa(geral, *db_.gestao, "2017-01-01", "2017-03-07", 3, host_, manual);
    }
    // A clean log, host and mail window for the next run.
    void fresh() {
        db_.execStaging("delete from LogGeral");
        host_ = RecordingRunHost();
        host_.mail = &mail_;
        mail_.calls.clear();
    }
    Rows log() const { return db_.logRows(); }
    QStringList labels() const { return db_.logLabels(); }

    QTemporaryDir dir_;
    RunDay day_;
    RunDatabases db_;
    RecordingRunHost host_;
    RecordingMail mail_;
};

}  // namespace testsupport

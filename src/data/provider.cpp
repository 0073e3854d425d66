#include "data/provider.h"

#include <atomic>

#include "data/embedded/connection/session.h"
#include "data/odbc/odbc_provider.h"

namespace data::provider {

namespace {
std::atomic<std::uint64_t> sent{0};
}

std::uint64_t statementsSent() { return sent.load(std::memory_order_relaxed); }
void countStatement() { sent.fetch_add(1, std::memory_order_relaxed); }

std::uint64_t nextColumnsSerial() {
    static std::atomic<std::uint64_t> serial{0};
    return serial.fetch_add(1, std::memory_order_relaxed) + 1;
}

namespace {

RequestObserver& observer() {
    static RequestObserver o;
    return o;
}

// A session that shows each request to the observer before it runs it.
class ObservedSession : public Session {
public:
    ObservedSession(std::unique_ptr<Session> inner, QString database, RequestObserver observer)
        : inner_(std::move(inner)), database_(std::move(database)), observer_(std::move(observer)) {}
    std::vector<Result> execute(const Request& request) override {
        observer_(database_, request);
        return inner_->execute(request);
    }
    void beginTrans() override { inner_->beginTrans(); }
    void commitTrans() override { inner_->commitTrans(); }
    void rollbackTrans() override { inner_->rollbackTrans(); }
    void setCommandTimeout(long seconds) override { inner_->setCommandTimeout(seconds); }
    void close() override { inner_->close(); }
    std::vector<Error> takeMessages() override { return inner_->takeMessages(); }

private:
    std::unique_ptr<Session> inner_;
    QString database_;
    RequestObserver observer_;
};

}  // namespace

void setRequestObserver(RequestObserver o) { observer() = std::move(o); }

std::unique_ptr<Session> openSession(const OpenArguments& args) {
    const QString server = args.connection.dataSource().trimmed();
    std::unique_ptr<Session> session = server.startsWith(QLatin1String("embedded:"), Qt::CaseInsensitive)
                                           ? embedded::openSession(args)
                                           : openOdbcSession(args);
    if (!observer()) return session;
    return std::make_unique<ObservedSession>(std::move(session), args.connection.initialCatalog(), observer());
}

}  // namespace data::provider

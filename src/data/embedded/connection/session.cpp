#include "data/embedded/connection/session.h"

#include "data/embedded/server/admin.h"
#include "data/embedded/server/catalog.h"
#include "data/embedded/connection/core.h"

namespace data::embedded {

namespace {

class EmbeddedSession : public provider::Session {
public:
    explicit EmbeddedSession(std::shared_ptr<Core> core) : core_(std::move(core)) {}

    std::vector<provider::Result> execute(const provider::Request& request) override {
        return live().execute(request);
    }
    void beginTrans() override {
        live().transactionMayHaveChanged();
        exec(core_->db(), QStringLiteral("BEGIN"), core_->context());
    }
    void commitTrans() override {
        live().transactionMayHaveChanged();
        exec(core_->db(), QStringLiteral("COMMIT"), core_->context());
        core_->admin().transactionEnded();
    }
    void rollbackTrans() override {
        live().transactionMayHaveChanged();
        exec(core_->db(), QStringLiteral("ROLLBACK"), core_->context());
        core_->admin().transactionEnded();
    }
    void setCommandTimeout(long seconds) override {
        if (core_) core_->setCommandTimeout(seconds);
    }
    void close() override {
        // Uncommitted work is rolled back when the handle closes, as when a connection drops.
        core_.reset();
    }

private:
    Core& live() {
        if (!core_) {
            throw DbError(3709, QStringLiteral("The connection cannot be used to perform this operation. It is either "
                                               "closed or invalid in this context."));
        }
        return *core_;
    }

    std::shared_ptr<Core> core_;
};

}  // namespace

std::unique_ptr<provider::Session> openSession(const provider::OpenArguments& args) {
    const ServerFolder server = ServerFolder::fromDataSource(args.connection.dataSource());
    const long seconds = args.connectionTimeout > 0 ? args.connectionTimeout : 600;
    const int busyMs = static_cast<int>(std::min<long>(seconds, 86400) * 1000);
    Login login = logIn(server, args.connection.userId(), args.password, busyMs);
    auto core = std::make_shared<Core>(server, std::move(login), args.connectionTimeout, args.commandTimeout);
    core->openDatabase(args.connection.initialCatalog(), true);
    return std::make_unique<EmbeddedSession>(std::move(core));
}

}  // namespace data::embedded

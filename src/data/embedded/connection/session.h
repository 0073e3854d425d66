#pragma once
// The embedded provider: opens a session on a server folder ("embedded:<folder>").

#include <memory>

#include "data/provider.h"

namespace data::embedded {

std::unique_ptr<provider::Session> openSession(const provider::OpenArguments& args);

}  // namespace data::embedded

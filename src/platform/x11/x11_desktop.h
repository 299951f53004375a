#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/desktop.h"
#include "platform/x11/application_identity.h"
#include "runtime/result.h"

namespace corvane::platform::x11 {

// The desktop of an X session: capture, screens, workspace, permissions, cursor and input
// idleness, all on `displayName` (empty means $DISPLAY). Windows of `ownPid` are always left
// out of capture. Fails with the first service that cannot be opened.
runtime::Result<Desktop> openDesktop(const std::string& displayName, std::int32_t ownPid);
// The same with the application identities resolved by `identities`.
runtime::Result<Desktop> openDesktop(const std::string& displayName, std::int32_t ownPid,
                                     std::shared_ptr<const ApplicationIdentityResolver> identities);

}  // namespace corvane::platform::x11

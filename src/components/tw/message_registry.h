#pragma once

#include <cstdint>

#include <QString>

namespace velmora::tw {

// A process-wide registry of named message numbers: the same name (compared
// without regard to case) always gets the same number, different names get
// different numbers, all in 0xC000..0xFFFF so that they never meet the
// numbers of fixed messages. Safe from any thread. Returns 0 for an empty
// name or when the range is used up.
std::uint32_t RegisterMessageName(const QString& name);

}  // namespace velmora::tw

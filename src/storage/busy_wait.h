#pragma once

#include <chrono>

namespace tessaron::storage {

// How long the program waits for a database file that another program (or another copy of this one) holds before
// the step fails and says so: a statement of its connections, the copy of a database. Qt's SQLite driver waits as
// long unless told otherwise; named here so that every wait and every message that tells it agree.
inline constexpr std::chrono::seconds busyWait {5};

} // namespace tessaron::storage

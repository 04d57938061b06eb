#include "cli/ordered_work.h"

#include <unistd.h>

#include <algorithm>

namespace velmora::cli {

unsigned DefaultJobs() {
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    return static_cast<unsigned>(std::clamp<long>(online, 4, 32));
}

}  // namespace velmora::cli

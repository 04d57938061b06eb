#pragma once

#include <cstdint>

#include "storage/allocation_tables.h"
#include "storage/compound_file_format.h"

namespace velmora::storage {

// Where each unit of one space (the file's sectors, or the mini stream's
// mini sectors) stands while a writer works. A unit is in use while some
// chain or structure reaches it. A unit an old copy left after its switch is
// reusable: unreachable, still allocated in its table, free for a second
// copy to take until it is freed for good.
class UnitStates {
public:
    // Claimed by the chain walks that load the file.
    UnitSet& inUse() { return inUse_; }
    bool used(uint64_t unit) const { return inUse_.contains(unit); }
    bool reusable(uint64_t unit) const { return reusable_.contains(unit); }

    // Marks and unmarks without a table change.
    void use(uint32_t unit) { inUse_.insert(unit); }
    void unuse(uint32_t unit) { inUse_.erase(unit); }
    // An old copy's unit, reachable by nothing now.
    void release(uint32_t unit) {
        inUse_.erase(unit);
        reusable_.insert(unit);
    }
    // A released unit back in use (its old owner is in effect again).
    void reclaim(uint32_t unit) {
        inUse_.insert(unit);
        reusable_.erase(unit);
    }

protected:
    // Neither in use nor allocated to anything but an old copy, given the
    // unit's entry in its table.
    bool takable(uint64_t unit, uint32_t tableEntry) const {
        return !inUse_.contains(unit) && (tableEntry == kFreeSector || reusable_.contains(unit));
    }
    // Takes the unit for new content: in use, no longer reusable.
    void take(uint32_t unit) { reclaim(unit); }
    // Ends a reusable unit's reusability; false for the others.
    bool stopReusing(uint32_t unit) {
        if (!reusable_.contains(unit)) return false;
        reusable_.erase(unit);
        return true;
    }
    void truncate(uint64_t count) {
        inUse_.truncate(count);
        reusable_.truncate(count);
    }

private:
    UnitSet inUse_;
    UnitSet reusable_;
};

}  // namespace velmora::storage

#pragma once

#include <functional>

#include <QString>
#include <QStringList>

#include "framework/scoped_replacement.h"

namespace velmora::update {

class VerifiedUpdate;

// Starts a checked update from its open descriptor, detached from this
// program (its own session, not our child), with `arguments` as its
// argument list (never a string to split) and `name` as its argv[0]. A
// program is started with execveat on the descriptor itself; a "#!" script
// needs a path its interpreter can open, so it gets the descriptor open
// across the start, as /proc/self/fd/N, and inherits it. False, with
// `reason`, when it could not be started.
bool StartUpdateFile(const VerifiedUpdate& update, const QString& name, const QStringList& arguments, QString& reason);

// Replaces what StartUpdateFile does (tests); empty restores it. The file is
// the checked update's path, for the test to look at.
using UpdateLauncher = std::function<bool(const QString& file, const QStringList& arguments, QString& reason)>;
UpdateLauncher SetUpdateLauncher(UpdateLauncher launcher);
using ScopedUpdateLauncher = framework::ScopedReplacement<UpdateLauncher, &SetUpdateLauncher>;
// The replacement in force, if any.
const UpdateLauncher& CurrentUpdateLauncher();

}  // namespace velmora::update

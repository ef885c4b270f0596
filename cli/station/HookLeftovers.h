#pragma once
// What a hook leaves running ends when the hook does. Its process group is
// stopped by the hook's backend; on Linux this program is moreover the
// subreaper of its hooks, so that a process that left the group (setsid)
// becomes its child once its parent ends, and is found by the hook's own
// environment variables and stopped too.

#include <string>
#include <vector>

// Before a hook starts.
void AdoptHookOrphans();

// After the hook whose process group was group has been stopped and
// reaped: stops and reaps this program's children in that group, or whose
// environment holds every one of marks, and the groups they lead, until
// none is left or a moment has passed.
void EndHookLeftovers(int group, const std::vector<std::string>& marks);

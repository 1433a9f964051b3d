// Runs murova-export in a sandbox as a user runs it.
#pragma once

#include <string>

#include "tests/support/sandbox.h"

inline sandbox::Sandbox ExportSandbox()
{
    return sandbox::Sandbox("export", "export X='" MUROVA_EXPORT_PATH "'");
}

// murova-export with args; its stdout, stderr and exit code.
inline sandbox::Result Export(sandbox::Sandbox& box, const std::string& args)
{
    return box.Run("timeout -k 5 300 \"$X\" " + args + " > out.txt 2> err.txt; echo $? > rc.txt");
}

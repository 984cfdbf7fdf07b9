// The files named on korvex-cli's command line: one project file alone, or
// any number of device (and, for run, script) files.

#include "CliCommands.h"
#include "files/CPrjDoc.h"
#include "files/CPrjManager.h"
#include "files/CRecentList.h"

#include <algorithm>

namespace korvex {

std::string CheckCliFiles(const std::vector<std::string>& files)
{
    const auto projects = std::count_if(files.begin(), files.end(), CRecentList::IsProjectPath);
    if (projects > 0 && files.size() != 1)
        return "a project file (.kvxp) is given alone: one project, or device and script files";
    return std::string();
}

bool IsCliProject(const std::vector<std::string>& files)
{
    return files.size() == 1 && CRecentList::IsProjectPath(files.front());
}

bool OpenCliProject(CPrjManager& manager, const std::string& path)
{
    const CPrjDoc* project = manager.OnOpenProject(path);
    return project != nullptr && !project->IsReadFailed();
}

} // namespace korvex

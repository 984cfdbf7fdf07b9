#include "files/ProjectPaths.h"

#include "files/TextFields.h"

#include <algorithm>
#include <vector>

namespace korvex {
namespace {

// The steps of an absolute path with "." dropped and ".." taking the step
// before it away (none above the root).
std::vector<std::string_view> NormalSteps(std::string_view path)
{
    std::vector<std::string_view> steps;
    std::size_t pos = 0;
    while (pos <= path.size()) {
        std::size_t end = path.find('/', pos);
        if (end == std::string_view::npos)
            end = path.size();
        const std::string_view step = path.substr(pos, end - pos);
        if (step == "..") {
            if (!steps.empty())
                steps.pop_back();
        } else if (!step.empty() && step != ".") {
            steps.push_back(step);
        }
        pos = end + 1;
    }
    return steps;
}

} // namespace

std::string MakeRelativePathTo(std::string_view baseDir, const std::string& path)
{
    if (path.empty() || path.front() != '/' || baseDir.empty() || baseDir.front() != '/')
        return path;
    const std::vector<std::string_view> base = NormalSteps(baseDir);
    const std::vector<std::string_view> target = NormalSteps(path);
    const auto [baseEnd, targetEnd] =
        std::mismatch(base.begin(), base.end(), target.begin(), target.end());
    const auto ups = std::distance(baseEnd, base.end());

    // ".", or one ".." per step up, joined by backslashes.
    std::string relative(ups == 0 ? 1 : 0, '.');
    for (auto i = ups; i > 0; --i) {
        if (i != ups)
            relative.push_back('\\');
        relative.append(2, '.');
    }
    for (auto it = targetEnd; it != target.end(); ++it) {
        relative += '\\';
        relative += *it;
    }
    return relative;
}

std::string ResolvePathIn(std::string_view baseDir, const std::string& path)
{
    if (path.empty() || path.front() == '/')
        return path;
    std::string relative = path;
    std::replace(relative.begin(), relative.end(), '\\', '/');
    // A path from the root of the Windows program's current drive.
    if (relative.front() == '/')
        return relative;
    if (relative.starts_with("./"))
        relative.erase(0, 2);
    std::string joined(baseDir);
    if (!joined.ends_with('/'))
        joined += '/';
    return joined + relative;
}

std::string RemoveExtension(const std::string& path)
{
    const std::size_t dot = path.find_last_of('.');
    const std::size_t slash = path.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return path;
    return path.substr(0, dot);
}

std::string DirOfPath(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return std::string();
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool IsDevicePath(std::string_view path)
{
    static constexpr std::string_view kDeviceExt = ".kvxd";
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string_view::npos)
        return false;
    const std::string_view ext = path.substr(dot);
    return ext.size() >= kDeviceExt.size() &&
           EqualsNoCase(ext.substr(0, kDeviceExt.size()), kDeviceExt);
}

} // namespace korvex

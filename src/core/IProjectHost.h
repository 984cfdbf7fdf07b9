#pragma once

#include "core/IRunState.h"

#include <functional>
#include <string>

namespace korvex {

class CDocManager;
class CDocTemplate;
class IDevHost;
class ILineSink;

// What the project side (the project and device templates, the project
// document and its commands) uses of the program around it: the documents'
// manager and the script template beside its own, the host of the devices it
// makes, the log their files' warnings go to, the run state and settings
// (read only), the resolver of paths it installs and the sink of messages.
// User-interface thread.
class IProjectHost : public IRunState
{
public:
    using PathResolver = std::function<std::string(const std::string& path)>;

    virtual ~IProjectHost() = default;

    virtual CDocManager& GetDocManager() = 0;
    // Scripts need the engine, above the files: null until the program
    // registers their template.
    virtual CDocTemplate* GetScriptTemplate() const = 0;
    virtual IDevHost& GetDevHost() = 0;
    virtual ILineSink& GetLines() = 0;
    // Relative paths of documents resolve against the project's folder from
    // now on; null takes paths as they are.
    virtual void SetPathResolver(PathResolver resolver) = 0;
    virtual void ReportError(const std::string& text) const = 0;
};

} // namespace korvex

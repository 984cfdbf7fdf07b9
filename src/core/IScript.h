#pragma once

namespace korvex {

// A script of the project as the session sees it: started at every emulator
// start and stopped first at every stop. Both calls come on the UI thread;
// StopScript returns only when the script's thread has ended.
class IScript
{
public:
    virtual ~IScript() = default;
    virtual void StartScript() = 0;
    virtual void StopScript() = 0;
};

} // namespace korvex

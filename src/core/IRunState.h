#pragma once

#include "core/SSettings.h"

namespace korvex {

// Whether the emulator runs, and the settings, read-only: what a window needs
// to know to decide what a user may do and how numbers are shown.
// User-interface thread.
class IRunState
{
public:
    virtual ~IRunState() = default;
    virtual bool IsRunning() const = 0;
    virtual const SSettings& GetSettings() const = 0;
};

} // namespace korvex

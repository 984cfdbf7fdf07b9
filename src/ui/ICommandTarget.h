#pragma once

#include "ui/Commands.h"

namespace korvex {

// What a child window offers to the main window's commands: the part of the
// command state it knows (what can be undone, which cells are selected) and
// the commands it carries out. The main window asks the widget of the current
// child window for this interface, never for its type; a window without it
// leaves those commands off. User-interface thread.
class ICommandTarget
{
public:
    virtual ~ICommandTarget() = default;

    // Fills in the window's part of the state.
    virtual void OfferState(SCommandState& state) const = 0;
    // Carries out a command the state offered enabled.
    virtual void RunCommand(CommandId id) = 0;
};

} // namespace korvex

#pragma once

#include <functional>

namespace korvex {

// What a child window offers to the main window's undo, cut, copy and paste
// accelerators. The main window asks the widget of the current child window
// for this interface; a window without it leaves the four commands off.
// User-interface thread.
class IEditTarget
{
public:
    enum class EditAction
    {
        Undo,
        Cut,
        Copy,
        Paste,
    };

    struct SEditState
    {
        bool bCanUndo{ false };
        bool bCanCut{ false };
        bool bCanCopy{ false };
        bool bCanPaste{ false };
    };

    virtual ~IEditTarget() = default;

    virtual SEditState GetEditState() const = 0;
    // Does nothing when the action is not possible now.
    virtual void DoEdit(EditAction action) = 0;
    // Called whenever GetEditState may answer differently.
    virtual void SetEditStateListener(std::function<void()> listener) = 0;
};

} // namespace korvex

#pragma once

namespace korvex {

class CDocument;

// The window side of a document kind, registered with its template by the
// desktop program. Without it documents have no windows.
class IDocFrames
{
public:
    virtual ~IDocFrames() = default;
    // Makes the document's frame and view; called after the document is
    // created and before its file is read.
    virtual void CreateFrame(CDocument& doc) = 0;
    // Takes the frame and view down; called before the document is destroyed.
    virtual void DestroyFrame(CDocument& doc) = 0;
    // Shows the document's frame (it may be hidden) and activates it unless
    // it is the active one already.
    virtual void ActivateFrame(CDocument& doc) { static_cast<void>(doc); }
    // The document read its file: its frame is shown for the first time.
    virtual void InitialUpdateFrame(CDocument& doc) { static_cast<void>(doc); }
};

} // namespace korvex

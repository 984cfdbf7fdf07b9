#pragma once

namespace korvex {

class CDevDoc;
class CDocument;

// Told of what happens to documents, on the user-interface thread.
// Opened, closing and device-changed are called at once by the operation
// that causes them. Modified and title changes are posted: the modified flag
// may be raised on a script's or the reader's thread, so a listener hears of
// it once the event loop runs, and only if the document still exists.
class IDocListener
{
public:
    virtual ~IDocListener() = default;
    // A document read its file (it may join the project).
    virtual void OnDocumentOpened(CDocument& doc) { static_cast<void>(doc); }
    // A document is about to be destroyed.
    virtual void OnDocumentClosing(CDocument& doc) { static_cast<void>(doc); }
    // A device's ID or address changed.
    virtual void OnDeviceChanged(CDevDoc& dev) { static_cast<void>(dev); }
    // Posted: the modified flag went up or down.
    virtual void OnModifiedChanged(CDocument& doc) { static_cast<void>(doc); }
    // Posted: the path name or the title changed.
    virtual void OnTitleChanged(CDocument& doc) { static_cast<void>(doc); }
};

} // namespace korvex

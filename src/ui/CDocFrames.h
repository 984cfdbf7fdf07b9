#pragma once

#include "core/IDocFrames.h"

#include <functional>
#include <map>

class QMdiArea;
class QWidget;

namespace korvex {

class CChildFrame;
class CDocument;

// The window side of a document kind: a child frame in the main window's
// area for each document, with the kind's view inside. The frame is made
// hidden with the document and shown when its file has been read.
class CDocFrames final : public IDocFrames
{
public:
    // Makes the view of a document, parented to its frame.
    using ViewFactory = std::function<QWidget*(CDocument& doc, CChildFrame& frame)>;

    CDocFrames(QMdiArea& area, int& childState, std::function<void()> save, ViewFactory factory);
    ~CDocFrames() override;

    void CreateFrame(CDocument& doc) override;
    void DestroyFrame(CDocument& doc) override;
    void ActivateFrame(CDocument& doc) override;
    void InitialUpdateFrame(CDocument& doc) override;

    CChildFrame* FrameOf(const CDocument& doc) const;

private:
    QMdiArea& m_area;
    int& m_nChildState;
    std::function<void()> m_fnSave;
    ViewFactory m_factory;
    std::map<const CDocument*, CChildFrame*> m_frames;
};

} // namespace korvex

#include "ui/CDocFrames.h"

#include "ui/CChildFrame.h"
#include "ui/IChildView.h"

#include <QMdiArea>

namespace korvex {

CDocFrames::CDocFrames(QMdiArea& area, int& childState, std::function<void()> save,
                       ViewFactory factory)
    : m_area(area), m_nChildState(childState), m_fnSave(std::move(save)),
      m_factory(std::move(factory))
{
}

CDocFrames::~CDocFrames()
{
    for (auto& [doc, frame] : m_frames)
        delete frame;
}

void CDocFrames::CreateFrame(CDocument& doc)
{
    auto* frame = new CChildFrame(doc, m_nChildState, m_fnSave);
    if (m_factory) {
        if (QWidget* view = m_factory(doc, *frame))
            frame->setWidget(view);
    }
    m_area.addSubWindow(frame);
    frame->hide();
    m_frames[&doc] = frame;
}

void CDocFrames::DestroyFrame(CDocument& doc)
{
    const auto it = m_frames.find(&doc);
    if (it == m_frames.end())
        return;
    CChildFrame* frame = it->second;
    m_frames.erase(it);
    m_area.removeSubWindow(frame);
    delete frame;
}

void CDocFrames::ActivateFrame(CDocument& doc)
{
    if (CChildFrame* frame = FrameOf(doc))
        frame->ShowAndActivate();
}

void CDocFrames::InitialUpdateFrame(CDocument& doc)
{
    if (CChildFrame* frame = FrameOf(doc)) {
        if (auto* view = dynamic_cast<IChildView*>(frame->widget()))
            view->OnInitialUpdate();
        frame->UpdateTitle();
        frame->ShowAndActivate();
    }
}

CChildFrame* CDocFrames::FrameOf(const CDocument& doc) const
{
    const auto it = m_frames.find(&doc);
    return it != m_frames.end() ? it->second : nullptr;
}

} // namespace korvex

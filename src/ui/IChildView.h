#pragma once

namespace korvex {

// A view inside a child frame that wants to hear when its document has read
// its file (the frame and view are made before the file is read).
class IChildView
{
public:
    virtual ~IChildView() = default;
    virtual void OnInitialUpdate() = 0;
};

} // namespace korvex

#pragma once

namespace korvex {

class CDevItem;

// The window side of a device, registered by the desktop program. A device
// without a view still normalises and numbers the cells it shows.
class IDevView
{
public:
    virtual ~IDevView() = default;
    // Any thread: a cell's value was set; queue the row's repaint.
    virtual void OnValueChanged(CDevItem* item) = 0;
    // User-interface thread: a cell got its row or its row is refreshed.
    virtual void OnItemShown(CDevItem* item) = 0;
    // User-interface thread: the cell is about to be destroyed.
    virtual void OnItemRemoved(CDevItem* item) = 0;
};

} // namespace korvex

#pragma once

namespace korvex {

class CRecentList;

// Where the recent projects are kept between runs (the user's settings in
// the programs; the core knows only this interface).
class IRecentStore
{
public:
    virtual ~IRecentStore() = default;
    // Replaces the list with the stored one.
    virtual void LoadRecent(CRecentList& list) const = 0;
    // False when the list could not be stored.
    virtual bool SaveRecent(const CRecentList& list) const = 0;
};

} // namespace korvex

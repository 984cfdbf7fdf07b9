#pragma once

#include <algorithm>
#include <vector>

namespace korvex {

// Observers, not owned, each once, told in the order they were added. An
// observer may add or remove observers (itself included) while it is told:
// the ones told are those of the moment the notice began. Used on one thread.
template <class Observer> class CObserverList
{
public:
    void Add(Observer* observer)
    {
        if (std::find(m_arObservers.begin(), m_arObservers.end(), observer) == m_arObservers.end())
            m_arObservers.push_back(observer);
    }
    void Remove(Observer* observer) { std::erase(m_arObservers, observer); }
    bool IsEmpty() const { return m_arObservers.empty(); }

    template <typename Fn> void Notify(Fn fn) const
    {
        for (Observer* observer : std::vector<Observer*>(m_arObservers))
            fn(*observer);
    }

private:
    std::vector<Observer*> m_arObservers;
};

} // namespace korvex

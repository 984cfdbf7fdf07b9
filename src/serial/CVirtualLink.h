#pragma once

#include <string>

namespace korvex {

// The symbolic link at which a virtual port is offered (LINK -> /dev/pts/N).
// A link has an owner: the program that holds an exclusive flock on
// LINK.lock, for as long as the link is its own. A second program finds the
// lock held and leaves the link alone; a link whose lock is free is a former
// run's and may be replaced, but only when it points into /dev/pts: anything
// else at LINK (a file, a folder, a link elsewhere) is never replaced or
// removed. A dangling link proves nothing: pseudo-terminal numbers are reused.
//
// Used from one thread.
class CVirtualLink
{
public:
    enum class Claimed
    {
        Ok,
        Busy,    // another program owns the link
        Foreign, // something that is no virtual port's link is at the path
        Failed,  // the lock file could not be made (errno)
    };

    CVirtualLink() = default;
    ~CVirtualLink();

    CVirtualLink(const CVirtualLink&) = delete;
    CVirtualLink& operator=(const CVirtualLink&) = delete;

    // Takes the lock of the link at path (making its folder and lock file
    // where needed) and checks what is there now. Anything but Ok leaves no
    // lock held; GetError says why, naming the path.
    Claimed Claim(const std::string& path);
    // With the claim held, points the link at target (replacing a former
    // run's link). False when the link cannot be made (GetError).
    bool Link(const std::string& target);
    // Removes the link, when it still points at our target, and the lock
    // file, then lets the lock go. Nothing when nothing is claimed.
    void Release();

    bool IsClaimed() const { return m_nLockFd >= 0; }
    bool IsLinked() const { return !m_strTarget.empty(); }
    const std::string& GetError() const { return m_strError; }

private:
    // Why the path may not be replaced, or empty when it may: nothing there,
    // or a link into /dev/pts. errno is kept.
    std::string DescribeForeign(const std::string& path) const;
    // Unlinks the lock file when the path still names the locked file, and
    // closes it.
    void DropLock();

    std::string m_strPath;
    std::string m_strLockPath;
    std::string m_strTarget; // what our link points at; empty while unlinked
    std::string m_strError;
    int m_nLockFd{ -1 };
};

} // namespace korvex

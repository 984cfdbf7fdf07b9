#include "serial/CVirtualLink.h"

#include "core/FileIo.h"
#include "core/Text.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvex {
namespace {

constexpr char kBusy[] = "Ссылку '%s' на виртуальный порт держит другая работающая копия Korvex.";
constexpr char kForeign[] =
    "Путь '%s' занят (%s) и не является ссылкой на виртуальный порт Korvex; "
    "такие файлы программа не заменяет и не удаляет.";
constexpr char kNoLock[] = "Невозможно создать файл блокировки '%s': %s";
constexpr char kPtsPrefix[] = "/dev/pts/";
constexpr char kNoLink[] = "Невозможно создать ссылку '%s' на виртуальный порт: %s";

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The target of a symbolic link; empty when it is none.
std::string ReadLink(const std::string& path)
{
    std::error_code ec;
    const std::filesystem::path target = std::filesystem::read_symlink(path, ec);
    return ec ? std::string() : target.string();
}

// What the file is, in a report.
std::string KindOf(const std::string& path, const struct stat& st)
{
    if (S_ISLNK(st.st_mode))
        return "ссылка на '" + ReadLink(path) + "'";
    if (S_ISREG(st.st_mode))
        return "обычный файл";
    if (S_ISDIR(st.st_mode))
        return "папка";
    return "специальный файл";
}

} // namespace

CVirtualLink::~CVirtualLink()
{
    Release();
}

std::string CVirtualLink::DescribeForeign(const std::string& path) const
{
    struct stat st
    {
    };
    if (lstat(path.c_str(), &st) != 0)
        return errno == ENOENT ? std::string() : ErrorText(errno);
    if (S_ISLNK(st.st_mode) && ReadLink(path).starts_with(kPtsPrefix))
        return std::string();
    return KindOf(path, st);
}

CVirtualLink::Claimed CVirtualLink::Claim(const std::string& path)
{
    Release();
    m_strError.clear();
    m_strPath = path;
    m_strLockPath = path + ".lock";
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);

    // A lock file is an empty regular file; anything else there is no one's
    // lock to take or remove.
    struct stat st
    {
    };
    if (lstat(m_strLockPath.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        m_strError = StrFormat(kForeign, m_strLockPath.c_str(), KindOf(m_strLockPath, st).c_str());
        return Claimed::Foreign;
    }
    // The owner may remove its lock file between our open and our lock: the
    // lock counts only while the path still names the locked file.
    for (int attempt = 0; attempt < 16 && m_nLockFd < 0; ++attempt) {
        const int fd =
            ::open(m_strLockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            m_strError = StrFormat(kNoLock, m_strLockPath.c_str(), ErrorText(errno).c_str());
            return Claimed::Failed;
        }
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            if (error == EWOULDBLOCK) {
                m_strError = StrFormat(kBusy, path.c_str());
                return Claimed::Busy;
            }
            m_strError = StrFormat(kNoLock, m_strLockPath.c_str(), ErrorText(error).c_str());
            return Claimed::Failed;
        }
        struct stat held
        {
        };
        struct stat named
        {
        };
        if (fstat(fd, &held) == 0 && ::stat(m_strLockPath.c_str(), &named) == 0 &&
            SameFile(held, named)) {
            if (!S_ISREG(held.st_mode) || held.st_size != 0) {
                ::close(fd);
                m_strError = StrFormat(kForeign, m_strLockPath.c_str(), "обычный файл");
                return Claimed::Foreign;
            }
            m_nLockFd = fd;
        } else {
            ::close(fd);
        }
    }
    if (m_nLockFd < 0) {
        m_strError = StrFormat(kNoLock, m_strLockPath.c_str(), ErrorText(EAGAIN).c_str());
        return Claimed::Failed;
    }
    if (const std::string kind = DescribeForeign(path); !kind.empty()) {
        m_strError = StrFormat(kForeign, path.c_str(), kind.c_str());
        DropLock();
        return Claimed::Foreign;
    }
    return Claimed::Ok;
}

bool CVirtualLink::Link(const std::string& target)
{
    if (!IsClaimed())
        return false;
    if (IsLinked() && ReadLink(m_strPath) == target)
        return true;
    // Checked again: time has passed since the claim.
    if (const std::string kind = DescribeForeign(m_strPath); !kind.empty()) {
        m_strError = StrFormat(kForeign, m_strPath.c_str(), kind.c_str());
        return false;
    }
    // Nothing, or a link into /dev/pts whose lock was free: a former run's.
    ::unlink(m_strPath.c_str());
    if (symlink(target.c_str(), m_strPath.c_str()) != 0) {
        m_strError = StrFormat(kNoLink, m_strPath.c_str(), ErrorText(errno).c_str());
        return false;
    }
    m_strTarget = target;
    return true;
}

void CVirtualLink::Release()
{
    if (!IsClaimed())
        return;
    // Only while the link is still ours: someone may have replaced it.
    if (IsLinked() && ReadLink(m_strPath) == m_strTarget)
        ::unlink(m_strPath.c_str());
    m_strTarget.clear();
    DropLock();
}

void CVirtualLink::DropLock()
{
    struct stat held
    {
    };
    struct stat named
    {
    };
    if (fstat(m_nLockFd, &held) == 0 && ::stat(m_strLockPath.c_str(), &named) == 0 &&
        SameFile(held, named))
        ::unlink(m_strLockPath.c_str());
    ::close(m_nLockFd);
    m_nLockFd = -1;
}

} // namespace korvex

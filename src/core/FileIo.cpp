#include "core/FileIo.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <locale.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace korvex {
namespace {

// Closes the descriptor and, unless released, removes the file it made.
class CTempFile
{
public:
    CTempFile(int fd, std::string path) : m_fd(fd), m_strPath(std::move(path)) {}
    ~CTempFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_strPath.empty())
            ::unlink(m_strPath.c_str());
    }
    CTempFile(const CTempFile&) = delete;
    CTempFile& operator=(const CTempFile&) = delete;

    int Fd() const { return m_fd; }
    const std::string& Path() const { return m_strPath; }
    int Close()
    {
        const int rc = ::close(m_fd);
        m_fd = -1;
        return rc == 0 ? 0 : errno;
    }
    void Release() { m_strPath.clear(); }

private:
    int m_fd{ -1 };
    std::string m_strPath;
};

int WriteAll(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

// The file a path names, symbolic links followed; the path itself when it
// names nothing yet.
std::string ResolveTarget(const std::string& path)
{
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) != nullptr)
        return resolved;
    return path;
}

} // namespace

int ReadWholeFile(const std::string& path, std::string& bytes, bool* opened)
{
    bytes.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (opened != nullptr)
        *opened = fd >= 0;
    if (fd < 0)
        return errno;
    char buffer[65536];
    int error = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            break;
        }
        if (n == 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (error != 0)
        bytes.clear();
    return error;
}

int ReplaceFile(const std::string& path, const std::string& bytes)
{
    const std::string target = ResolveTarget(path);
    struct stat old
    {
    };
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && S_ISDIR(old.st_mode))
        return EISDIR;

    const auto slash = target.find_last_of('/');
    const std::string dir =
        slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);

    // A hidden name of our own in the same folder, so that the rename stays
    // on one file system; O_EXCL keeps two writers apart.
    static std::atomic<unsigned> counter{ 0 };
    int fd = -1;
    std::string tempPath;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        tempPath = dir + "." + name + "." + std::to_string(::getpid()) + "." +
                   std::to_string(counter.fetch_add(1)) + ".tmp";
        fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return errno;
    }
    if (fd < 0)
        return EEXIST;
    CTempFile temp(fd, tempPath);

    if (exists && ::fchmod(temp.Fd(), old.st_mode & 07777) != 0)
        return errno;
    if (const int error = WriteAll(temp.Fd(), bytes); error != 0)
        return error;
    // The data reaches the disk before the name does.
    if (::fsync(temp.Fd()) != 0)
        return errno;
    if (const int error = temp.Close(); error != 0)
        return error;
    if (::rename(temp.Path().c_str(), target.c_str()) != 0)
        return errno;
    temp.Release();
    return 0;
}

std::string MakeFullPath(const std::string& path)
{
    if (path.empty())
        return path;
    std::error_code ec;
    std::filesystem::path full = std::filesystem::absolute(path, ec);
    if (ec)
        full = path;
    return full.lexically_normal().string();
}

namespace {

// The errors that opening, reading and writing files and ports meet.
constexpr std::pair<int, const char*> kRussianErrors[] = {
    { EPERM, "Операция не позволена" },
    { ENOENT, "Нет такого файла или каталога" },
    { EIO, "Ошибка ввода/вывода" },
    { ENXIO, "Нет такого устройства или адреса" },
    { EBADF, "Неверный дескриптор файла" },
    { EAGAIN, "Ресурс временно недоступен" },
    { ENOMEM, "Недостаточно памяти" },
    { EACCES, "Отказано в доступе" },
    { EBUSY, "Устройство или ресурс занято" },
    { EEXIST, "Файл существует" },
    { ENODEV, "Нет такого устройства" },
    { ENOTDIR, "Это не каталог" },
    { EISDIR, "Это каталог" },
    { EINVAL, "Недопустимый аргумент" },
    { ENFILE, "Слишком много открытых файлов в системе" },
    { EMFILE, "Слишком много открытых файлов" },
    { ENOTTY, "Неподходящий ioctl для устройства" },
    { EFBIG, "Файл слишком велик" },
    { ENOSPC, "На устройстве не осталось свободного места" },
    { EROFS, "Файловая система доступна только для чтения" },
    { ENAMETOOLONG, "Слишком длинное имя файла" },
    { ELOOP, "Слишком много уровней символьных ссылок" },
    { EDQUOT, "Превышена дисковая квота" },
    { EADDRINUSE, "Адрес уже используется" },
    { EADDRNOTAVAIL, "Невозможно назначить запрошенный адрес" },
    { ECONNRESET, "Соединение сброшено другой стороной" },
    { ETIMEDOUT, "Время ожидания соединения истекло" },
    { ECONNREFUSED, "В соединении отказано" },
};

// The C library's Russian messages, when a Russian locale is installed.
locale_t RussianMessages()
{
    static const locale_t locale = [] {
        for (const char* name : { "ru_RU.UTF-8", "ru_RU.utf8", "ru_UA.UTF-8" })
            if (const locale_t found = newlocale(LC_MESSAGES_MASK | LC_CTYPE_MASK, name, nullptr))
                return found;
        return static_cast<locale_t>(nullptr);
    }();
    return locale;
}

} // namespace

std::string ErrorText(int error)
{
    for (const auto& [code, text] : kRussianErrors)
        if (code == error)
            return text;
    if (const locale_t russian = RussianMessages())
        return strerror_l(error, russian);
    return std::generic_category().message(error);
}

} // namespace korvex

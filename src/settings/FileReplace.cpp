#include "settings/FileReplace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {

[[noreturn]] void fail(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

// Owns the temporary file until it has been renamed into place.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& target)
        : m_path(target + "." + std::to_string(::getpid()) + ".tmp") {
        m_fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (m_fd < 0) {
            fail("cannot create " + m_path);
        }
    }
    ~TemporaryFile() {
        closeFile();
        if (!m_renamed) {
            ::unlink(m_path.c_str());
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    void keepModeOf(const std::string& target) {
        struct stat old {};
        if (::stat(target.c_str(), &old) == 0 && ::fchmod(m_fd, old.st_mode & 07777) != 0) {
            fail("cannot set the permissions of " + m_path);
        }
    }

    void write(const std::string& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                fail("cannot write " + m_path);
            }
            done += static_cast<size_t>(n);
        }
        if (::fsync(m_fd) != 0) {
            fail("cannot write " + m_path + " to the disk");
        }
        if (closeFile() != 0) {
            fail("cannot write " + m_path);
        }
    }

    void renameTo(const std::string& target) {
        if (std::rename(m_path.c_str(), target.c_str()) != 0) {
            fail("cannot replace " + target);
        }
        m_renamed = true;
    }

private:
    int closeFile() {
        const int result = m_fd < 0 ? 0 : ::close(m_fd);
        m_fd = -1;
        return result;
    }

    std::string m_path;
    int m_fd = -1;
    bool m_renamed = false;
};

// The rename itself reaches the disk only with its folder.
void syncFolderOf(const std::string& path) {
    std::string folder = std::filesystem::path(path).parent_path().string();
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

void replaceFileContents(const std::string& path, const std::string& bytes) {
    TemporaryFile temporary(path);
    temporary.keepModeOf(path);
    temporary.write(bytes);
    temporary.renameTo(path);
    syncFolderOf(path);
}

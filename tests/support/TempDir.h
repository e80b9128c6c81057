#pragma once

#include <unistd.h>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>

// A fresh directory under the system's temporary folder, removed with its contents.
class TempDir {
public:
    TempDir() {
        static std::atomic<int> counter{0};
        m_path = std::filesystem::temp_directory_path() /
                 ("rz77-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(m_path);
    }
    ~TempDir() { std::filesystem::remove_all(m_path); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string write(const std::string& name, const std::string& bytes) const {
        const auto file = m_path / name;
        std::ofstream(file, std::ios::binary) << bytes;
        return file.string();
    }
    std::filesystem::path path() const { return m_path; }
    std::string str() const { return m_path.string(); }

private:
    std::filesystem::path m_path;
};

#pragma once

#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

// A fresh directory under the system's temporary folder, removed with its contents.
class TempDir {
public:
    // Made by mkdtemp: a directory a killed run left behind under a recycled process id is
    // never taken for a fresh one.
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "rz77-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::filesystem::filesystem_error(
                "mkdtemp", pattern, std::error_code(errno, std::generic_category()));
        }
        m_path = pattern;
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

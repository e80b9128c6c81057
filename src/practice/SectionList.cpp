#include "practice/SectionList.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "settings/FileReplace.h"

namespace {

constexpr const char* kMagic = "rz77-sections ";
constexpr const char* kNext = "next ";
constexpr int kFields = 6;
// Beyond these a section is damage, not a setting the track page could have made.
constexpr double kLatestSeconds = 1e6;
constexpr int kMinSpeed = 25, kMaxSpeed = 150, kMaxSemitones = 12;

std::string plainName(std::string name) {
    std::replace_if(
        name.begin(), name.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
    return name;
}

template <typename Number>
std::optional<Number> number(std::string_view text) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// "-" for a setting the section does not keep; nothing at all when the field is damaged.
std::optional<std::optional<int>> optionalCount(std::string_view text, int lowest, int highest) {
    if (text == "-") {
        return std::optional<int>();
    }
    const auto count = number<int>(text);
    if (!count || *count < lowest || *count > highest) {
        return std::nullopt;
    }
    return count;
}

std::string countText(const std::optional<int>& count) {
    return count ? std::to_string(*count) : "-";
}

std::string secondsText(double seconds) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, seconds).ptr;
    return std::string(text, end);
}

std::vector<std::string_view> split(std::string_view line, char by) {
    std::vector<std::string_view> fields;
    size_t from = 0;
    for (size_t at; (at = line.find(by, from)) != std::string_view::npos; from = at + 1) {
        fields.push_back(line.substr(from, at - from));
    }
    fields.push_back(line.substr(from));
    return fields;
}

std::optional<Section> parseSection(std::string_view line) {
    const auto fields = split(line, '\t');
    if (fields.size() != kFields) {
        return std::nullopt;
    }
    const auto id = number<int>(fields[0]);
    const auto a = number<double>(fields[1]);
    const auto b = number<double>(fields[2]);
    const auto speed = optionalCount(fields[3], kMinSpeed, kMaxSpeed);
    const auto semitones = optionalCount(fields[4], -kMaxSemitones, kMaxSemitones);
    if (!id || *id <= 0 || !a || !b || !std::isfinite(*a) || *a < 0 || !(*b > *a) ||
        *b > kLatestSeconds || !speed || !semitones) {
        return std::nullopt;
    }
    return Section{*id, std::string(fields[5]), *a, *b, *speed, *semitones};
}

std::string readAll(const std::string& path, bool& found) {
    std::ifstream in(path, std::ios::binary);
    found = static_cast<bool>(in);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The first free name of the file's, with the reason in it.
std::string putAside(const std::string& path, const std::string& why) {
    std::string aside = path + "." + why;
    for (int n = 2; std::filesystem::exists(aside); ++n) {
        aside = path + "." + why + "-" + std::to_string(n);
    }
    std::error_code error;
    std::filesystem::rename(path, aside, error);
    if (error) {
        throw std::system_error(error, "cannot put " + path + " aside");
    }
    return aside;
}

}  // namespace

SectionList::SectionList(std::vector<Section> sections, int nextId)
    : m_sections(std::move(sections)), m_nextId(std::max(nextId, 1)) {
    for (const Section& section : m_sections) {
        m_nextId = std::max(m_nextId, section.id + 1);
    }
}

size_t SectionList::add(Section section) {
    section.id = m_nextId++;
    section.name = plainName(section.name);
    m_sections.push_back(std::move(section));
    return m_sections.size() - 1;
}

void SectionList::rename(size_t index, const std::string& name) {
    m_sections.at(index).name = plainName(name);
}

void SectionList::remove(size_t index) {
    m_sections.erase(m_sections.begin() + static_cast<std::ptrdiff_t>(index));
}

bool SectionList::move(size_t index, int by) {
    const auto to = static_cast<std::ptrdiff_t>(index) + by;
    if (index >= m_sections.size() || to < 0 || to >= static_cast<std::ptrdiff_t>(size())) {
        return false;
    }
    std::swap(m_sections[index], m_sections[static_cast<size_t>(to)]);
    return true;
}

namespace SectionsFile {

std::string format(const SectionList& list) {
    std::string text =
        kMagic + std::to_string(kVersion) + "\n" + kNext + std::to_string(list.nextId()) + "\n";
    for (const Section& s : list.sections()) {
        text += std::to_string(s.id) + '\t' + secondsText(s.a) + '\t' + secondsText(s.b) + '\t' +
                countText(s.speedPercent) + '\t' + countText(s.semitones) + '\t' +
                plainName(s.name) + '\n';
    }
    return text;
}

std::optional<int> versionOf(const std::string& text) {
    const std::string_view magic(kMagic);
    const std::string_view first = std::string_view(text).substr(0, text.find('\n'));
    if (first.substr(0, magic.size()) != magic) {
        return std::nullopt;
    }
    return number<int>(first.substr(magic.size()));
}

std::optional<SectionList> parse(const std::string& text) {
    if (versionOf(text) != kVersion || text.back() != '\n') {
        return std::nullopt;
    }
    auto lines = split(std::string_view(text).substr(0, text.size() - 1), '\n');
    const std::string_view next(kNext);
    const auto nextId = lines.size() < 2 || lines[1].substr(0, next.size()) != next
                            ? std::nullopt
                            : number<int>(lines[1].substr(next.size()));
    if (!nextId) {
        return std::nullopt;
    }
    std::vector<Section> sections;
    for (auto line = lines.begin() + 2; line != lines.end(); ++line) {
        auto section = parseSection(*line);
        const auto sameId = [&](const Section& s) { return section && s.id == section->id; };
        if (!section || std::any_of(sections.begin(), sections.end(), sameId)) {
            return std::nullopt;
        }
        sections.push_back(std::move(*section));
    }
    return SectionList(std::move(sections), *nextId);
}

Loaded load(const std::string& path) {
    bool found = false;
    const std::string text = readAll(path, found);
    if (!found) {
        return {};
    }
    if (auto list = parse(text)) {
        return {Loaded::State::Read, std::move(*list), {}};
    }
    const auto version = versionOf(text);
    const bool newer = version && *version > kVersion;
    return {newer ? Loaded::State::Newer : Loaded::State::Damaged,
            {},
            putAside(path, newer ? "newer" : "damaged")};
}

void save(const std::string& path, const SectionList& list) {
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    if (error) {
        throw std::system_error(error, "cannot make the folder of " + path);
    }
    replaceFileContents(path, format(list));
}

}  // namespace SectionsFile

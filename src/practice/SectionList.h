#pragma once

#include <optional>
#include <string>
#include <vector>

// A named loop of a track: the part a guitarist practises (the intro riff, the chorus, the
// solo), with the speed and transpose it is practised at when they were kept with it. Its id
// never changes, so the practice log still finds it after a rename.
struct Section {
    int id = 0;
    std::string name;
    double a = 0, b = 0;  // seconds into the track, a before b
    std::optional<int> speedPercent;
    std::optional<int> semitones;
    bool operator==(const Section&) const = default;
};

// The sections of one track, in the order the user put them.
class SectionList {
public:
    SectionList() = default;
    // nextId: the id the next section added gets, past every id the track's sections had.
    SectionList(std::vector<Section> sections, int nextId);

    // Returns the new section's index; it gets an id no other section of the track had.
    size_t add(Section section);
    void rename(size_t index, const std::string& name);
    void remove(size_t index);
    // Moves a section one place up (-1) or down (+1); false at either end.
    bool move(size_t index, int by);

    const std::vector<Section>& sections() const { return m_sections; }
    size_t size() const { return m_sections.size(); }
    bool empty() const { return m_sections.empty(); }
    int nextId() const { return m_nextId; }
    const Section& operator[](size_t index) const { return m_sections.at(index); }

private:
    std::vector<Section> m_sections;
    int m_nextId = 1;
};

// A sections file: a version line, the id the next section gets (so that a deleted section's id
// never comes back, and its practice log with it), then one line a section, its fields apart by
// tabs:
//   rz77-sections 1
//   next 4
//   <id> <a seconds> <b seconds> <speed % or -> <semitones or -> <name>
// A name keeps no tabs or line breaks (they become spaces).
namespace SectionsFile {

constexpr int kVersion = 1;

struct Loaded {
    enum class State { Missing, Read, Damaged, Newer };
    State state = State::Missing;
    SectionList list;
    std::string keptAs;  // where a damaged or newer file was put aside
};

std::string format(const SectionList& list);
// Nothing when the text is no sections file of any version; the version it claims otherwise.
std::optional<int> versionOf(const std::string& text);
// Nothing when the text is not a well-formed file of this version.
std::optional<SectionList> parse(const std::string& text);

// A file that cannot be read as this version's is renamed aside (never overwritten), and the
// track starts with no sections. Throws std::system_error when it cannot be put aside.
Loaded load(const std::string& path);
// Written whole or not at all; the folder is made when missing. Throws std::system_error.
void save(const std::string& path, const SectionList& list);

}  // namespace SectionsFile

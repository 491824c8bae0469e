#pragma once
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavrin::sim {

// The controller's disk: the in-memory one preloaded with the sample programs, or a folder of
// the host. File names are bare names: no path separator, no "..", not empty, no leading dot.
class CSimDisk {
public:
    static constexpr size_t kNameMax = 64;

    CSimDisk();  // the in-memory disk with the samples

    // Switches to a folder of the host. Returns 0, or -2 when it is not a folder.
    int UseFolder(const std::string& folder);

    static bool IsValidName(std::string_view name);

    // Names and sizes, sorted by name.
    std::vector<std::pair<std::string, size_t>> List() const;
    // The file's bytes; an exact name first, else a case-insensitive match.
    std::optional<std::string> Read(std::string_view name) const;
    // Creates or replaces a file. Returns 0, or -2 (bad name or write failure).
    int Write(std::string_view name, const std::string& data);

private:
    std::optional<std::string> FindName(std::string_view name) const;

    std::string folder;  // empty: in memory
    std::map<std::string, std::string> files;
};

// The sample programs of the built-in disk: (name, text with CR LF line ends).
std::vector<std::pair<std::string, std::string>> SampleProgramFiles();

}  // namespace tavrin::sim

#include "SimDisk.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace tavrin::sim {

namespace fs = std::filesystem;

namespace {

bool SameNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

CSimDisk::CSimDisk() {
    for (auto& [name, text] : SampleProgramFiles()) files[name] = text;
}

int CSimDisk::UseFolder(const std::string& path) {
    std::error_code ec;
    if (!fs::is_directory(path, ec)) return -2;
    folder = path;
    files.clear();
    return 0;
}

bool CSimDisk::IsValidName(std::string_view name) {
    if (name.empty() || name.size() > kNameMax || name.front() == '.') return false;
    if (name.find("..") != std::string_view::npos) return false;
    for (unsigned char c : name)
        if (c < 0x21 || c == '/' || c == '\\' || c == 0x7F) return false;
    return true;
}

std::vector<std::pair<std::string, size_t>> CSimDisk::List() const {
    std::vector<std::pair<std::string, size_t>> list;
    if (folder.empty()) {
        for (auto& [name, data] : files) list.emplace_back(name, data.size());
        return list;
    }
    std::error_code ec;
    for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code sizeError;
        if (!it->is_regular_file(sizeError) || !IsValidName(name)) continue;
        const auto size = it->file_size(sizeError);
        if (!sizeError) list.emplace_back(name, static_cast<size_t>(size));
    }
    std::sort(list.begin(), list.end());
    return list;
}

std::optional<std::string> CSimDisk::FindName(std::string_view name) const {
    if (!IsValidName(name)) return std::nullopt;
    std::optional<std::string> caseless;
    for (auto& [stored, size] : List()) {
        if (stored == name) return stored;
        if (!caseless && SameNoCase(stored, name)) caseless = stored;
    }
    return caseless;
}

std::optional<std::string> CSimDisk::Read(std::string_view name) const {
    auto found = FindName(name);
    if (!found) return std::nullopt;
    if (folder.empty()) return files.at(*found);
    std::ifstream in(fs::path(folder) / *found, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int CSimDisk::Write(std::string_view name, const std::string& data) {
    if (!IsValidName(name)) return -2;
    // A file that exists under another case keeps its stored name.
    const std::string target = FindName(name).value_or(std::string(name));
    if (folder.empty()) {
        files[target] = data;
        return 0;
    }
    const fs::path path = fs::path(folder) / target;
    const fs::path temporary = fs::path(folder) / ("." + target + ".part");
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return -2;
        out.write(data.data(), static_cast<std::streamsize>(data.size()));
        if (!out.flush()) return -2;
    }
    std::error_code ec;
    fs::rename(temporary, path, ec);
    if (ec) {
        fs::remove(temporary, ec);
        return -2;
    }
    return 0;
}

}  // namespace tavrin::sim

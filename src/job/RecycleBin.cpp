#include "job/RecycleBin.h"

#include <algorithm>
#include <cstddef>
#include <map>
#include <utility>

#include "wipe/FolderSearch.h"
#include "wipe/Paths.h"

namespace veltrane {

namespace {

std::string FoldAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// The entries of one item, by kind; more than one of a kind only where names differ in case
// alone (a case-sensitive volume).
struct Entries {
    std::vector<std::string> data;
    std::vector<std::string> records;
};

}  // namespace

char RecycleBinEntryKind(const std::string& name, std::string& rest) {
    if (name.size() < 3 || name[0] != '$') return 0;
    const char kind = name[1] == 'r' ? 'R' : name[1] == 'i' ? 'I' : name[1];
    if (kind != 'R' && kind != 'I') return 0;
    rest = name.substr(2);
    return kind;
}

bool ListRecycleBinFolder(FileSystem& fs, const std::string& binFolder,
                          std::vector<RecycledItem>& items, std::uint32_t& error) {
    items.clear();
    error = kErrorSuccess;
    std::map<std::string, Entries> byRest;
    std::string name;
    FolderSearch search(fs, JoinPath(binFolder, "*"), name);
    if (!search.Valid()) {
        error = fs.LastError();
        return false;
    }
    do {
        // A name that holds a separator or a colon would, joined, address something outside
        // this folder. One without an exact form is kept: the wipe refuses it by name and
        // says so.
        if (!IsPlainEntryName(name) && name.find(kUnreadableNameMark) == std::string::npos) {
            continue;
        }
        std::string rest;
        const char kind = RecycleBinEntryKind(name, rest);
        if (kind == 0) continue;
        Entries& entries = byRest[FoldAscii(rest)];
        (kind == 'R' ? entries.data : entries.records).push_back(JoinPath(binFolder, name));
    } while (search.Next(name));
    error = fs.LastError();
    if (error != kErrorNoMoreFiles) return false;
    error = kErrorSuccess;

    for (auto& [rest, entries] : byRest) {
        std::sort(entries.data.begin(), entries.data.end());
        std::sort(entries.records.begin(), entries.records.end());
        const std::size_t count = std::max(entries.data.size(), entries.records.size());
        for (std::size_t i = 0; i < count; ++i) {
            RecycledItem item;
            if (i < entries.data.size()) item.dataPath = std::move(entries.data[i]);
            if (i < entries.records.size()) item.recordPath = std::move(entries.records[i]);
            items.push_back(std::move(item));
        }
    }
    return true;
}

namespace {

// The plain names of a folder; a missing folder has none.
bool ListNames(FileSystem& fs, const std::string& folder, std::vector<std::string>& names,
               std::uint32_t& error) {
    std::string name;
    FolderSearch search(fs, JoinPath(folder, "*"), name);
    if (!search.Valid()) {
        error = fs.LastError();
        return error == kErrorFileNotFound || error == kErrorPathNotFound;
    }
    do {
        if (name != "." && name != ".." && IsPlainEntryName(name)) names.push_back(name);
    } while (search.Next(name));
    error = fs.LastError();
    return error == kErrorNoMoreFiles;
}

}  // namespace

bool ListTrashFolder(FileSystem& fs, const std::string& trash, std::vector<RecycledItem>& items,
                     std::uint32_t& error) {
    items.clear();
    error = kErrorSuccess;
    std::vector<std::string> data, records;
    const std::string files = JoinPath(trash, "files");
    const std::string info = JoinPath(trash, "info");
    if (!ListNames(fs, files, data, error) || !ListNames(fs, info, records, error)) return false;
    error = kErrorSuccess;
    std::sort(data.begin(), data.end());
    std::map<std::string, bool> recordTaken;
    for (const std::string& record : records) recordTaken[record] = false;
    for (const std::string& name : data) {
        RecycledItem item;
        item.dataPath = JoinPath(files, name);
        const auto record = recordTaken.find(name + ".trashinfo");
        if (record != recordTaken.end()) {
            item.recordPath = JoinPath(info, record->first);
            record->second = true;
        }
        items.push_back(std::move(item));
    }
    for (const auto& [record, taken] : recordTaken) {
        if (!taken) items.push_back(RecycledItem{std::string(), JoinPath(info, record)});
    }
    return true;
}

RecycledItem RecycledItemOf(const std::string& dataPath) {
    RecycledItem item;
    item.dataPath = dataPath;
    const std::string folder = StripSeparator(FolderPart(dataPath));
    const std::string name = LastComponent(dataPath);
    std::string rest;
    if (RecycleBinEntryKind(name, rest) == 'R') {
        item.recordPath = JoinPath(folder, "$I" + rest);
    } else if (FoldAscii(LastComponent(folder)) == "files" && !name.empty()) {
        item.recordPath =
            JoinPath(JoinPath(StripSeparator(FolderPart(folder)), "info"), name + ".trashinfo");
    }
    return item;
}

std::vector<std::string> WithRecycledRecords(FileSystem& fs,
                                             const std::vector<std::string>& paths) {
    std::vector<std::string> out;
    for (const std::string& path : paths) {
        out.push_back(path);
        std::string rest;
        const std::string bin = StripSeparator(FolderPart(StripSeparator(FolderPart(path))));
        if (RecycleBinEntryKind(LastComponent(path), rest) != 'R' ||
            FoldAscii(LastComponent(bin)) != "$recycle.bin") {
            continue;
        }
        const std::string record = RecycledItemOf(path).recordPath;
        const bool selectedToo = std::find(paths.begin(), paths.end(), record) != paths.end();
        if (!selectedToo && fs.Attributes(record) != kInvalidAttributes) out.push_back(record);
    }
    return out;
}

std::vector<std::string> RecycledItemPaths(const std::vector<RecycledItem>& items) {
    std::vector<std::string> paths;
    for (const RecycledItem& item : items) {
        if (!item.dataPath.empty()) paths.push_back(item.dataPath);
        if (!item.recordPath.empty()) paths.push_back(item.recordPath);
        // An item without a path keeps its place as an empty name, which the job reports.
        if (item.dataPath.empty() && item.recordPath.empty()) paths.emplace_back();
    }
    return paths;
}

}  // namespace veltrane

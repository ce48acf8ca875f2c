#include "store/NotebookStore.h"

#include <cerrno>

#include <sys/stat.h>

#include "store/FileSystem.h"
#include "store/TextCodec.h"

namespace tavix {

namespace {

constexpr char16_t kPropertiesFile[] = u"tavix.props";
constexpr char16_t kRootName[] = u"app";
constexpr char16_t kStyleMap[] = u"StyleMap";

std::u16string withoutTrailingSlash(std::u16string folder) {
    if (!folder.empty() && folder.back() == u'/')
        folder.pop_back();
    return folder;
}

// Makes sure of every level of path in turn, from the outside in, creating
// only what is missing. Failures are left for the later reads and writes in
// the folder to report.
void ensurePath(const std::u16string& path) {
    const std::string bytes = toUtf8(path);
    std::string level;
    std::size_t start = 0;
    if (!bytes.empty() && bytes.front() == '/') {
        level = "/";
        start = 1;
    }
    while (start <= bytes.size()) {
        auto slash = bytes.find('/', start);
        if (slash == std::string::npos)
            slash = bytes.size();
        if (slash > start) {
            if (!level.empty() && level.back() != '/')
                level.push_back('/');
            level.append(bytes, start, slash - start);
            ensureFolder(level);
        }
        start = slash + 1;
    }
}

// Nothing at path (not even a dangling link's target): the first start.
bool isMissing(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

NotebookStore::NotebookStore() = default;

// Members go in reverse order: the properties tree, then the notebook with
// its page documents, then the style sheet, and the XML library last of all.
NotebookStore::~NotebookStore() = default;

void NotebookStore::setDataFolder(const std::u16string& folder) { dataFolder_ = folder; }

bool NotebookStore::loadSettings() {
    // Without a data folder the settings live in memory only; they are never
    // written to a file at the top of the file system.
    if (dataFolder_.empty()) {
        properties_ = std::make_unique<PropertyNode>(kRootName, nullptr, std::u16string());
        styleSheet_.loadFrom(properties_->child(kStyleMap));
        return true;
    }
    return loadSettingsFrom(withoutTrailingSlash(dataFolder_) + u"/" + kPropertiesFile);
}

bool NotebookStore::loadSettingsFrom(const std::u16string& propsPath) {
    properties_ = std::make_unique<PropertyNode>(kRootName, nullptr, propsPath);
    settingsRead_ = Status::success();
    settingsMissing_ = false;
    const std::string path = toUtf8(propsPath);
    removeStaleTemporaries(folderOf(path));
    // A missing file leaves the tree empty and every setting at its default.
    std::string bytes;
    if (const Status read = readWholeFile(path, bytes)) {
        properties_->loadText(bytes);
    } else if (isMissing(path)) {
        settingsMissing_ = true;
    } else {
        // Something is there that could not be read: the style sheet and the
        // history in it would be lost if a save replaced it with the
        // defaults and the little set since.
        settingsRead_ = Status::failure(
            "The settings were not saved. " + read.message() +
            ". Tavix could not read the file when it started, so it does not replace it: the "
            "style sheet and search history in it would be lost.");
        properties_->refuseSaves(settingsRead_.message());
    }
    styleSheet_.loadFrom(properties_->child(kStyleMap));
    return true;
}

void NotebookStore::setProgramFolder(const std::u16string& folder) {
    programFolder_ = folder;
    // No program folder means no notebook folder, rather than "/Notebooks".
    notebook_.setFolder(folder.empty() ? std::u16string()
                                       : withoutTrailingSlash(folder) + u"/Notebooks/Default");
    if (!notebook_.folder().empty())
        removeStaleTemporaries(toUtf8(notebook_.folder()));
}

PropertyNode& NotebookStore::settings(const std::u16string& name) {
    if (!properties_)
        properties_ = std::make_unique<PropertyNode>(kRootName, nullptr, std::u16string());
    return properties_->child(name);
}

Status NotebookStore::saveStyleSheet() {
    PropertyNode& styleMap = settings(kStyleMap);
    styleSheet_.storeTo(styleMap);
    if (properties_->filePath().empty())
        return Status::failure("Cannot save the settings: there is no settings folder");
    return properties_->save();
}

std::u16string NotebookStore::defaultDataFolder() {
    return fromUtf8(configHome() + "/Halvorix/Tavix");
}

std::u16string NotebookStore::defaultProgramFolder() {
    return fromUtf8(dataHome() + "/Halvorix/Tavix");
}

void NotebookStore::ensureFolders(const std::u16string& dataFolder,
                                  const std::u16string& programFolder) {
    if (!dataFolder.empty())
        ensurePath(dataFolder);
    if (!programFolder.empty()) {
        const std::u16string base = withoutTrailingSlash(programFolder);
        ensurePath(base);
        ensureFolder(toUtf8(base + u"/Notebooks"));
        ensureFolder(toUtf8(base + u"/Notebooks/Default"));
    }
}

}  // namespace tavix

#include "store/NotebookStore.h"

#include <sstream>

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
    // A missing or unreadable file leaves the tree empty and every setting at
    // its default.
    std::string bytes;
    if (readWholeFile(toUtf8(propsPath), bytes)) {
        std::istringstream in(bytes);
        properties_->load(in);
    }
    styleSheet_.loadFrom(properties_->child(kStyleMap));
    return true;
}

void NotebookStore::setProgramFolder(const std::u16string& folder) {
    programFolder_ = folder;
    // No program folder means no notebook folder, rather than "/Notebooks".
    notebook_.setFolder(folder.empty() ? std::u16string()
                                       : withoutTrailingSlash(folder) + u"/Notebooks/Default");
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

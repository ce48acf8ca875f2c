#pragma once
// The one object through which the program reaches everything on disk: the
// settings tree, the style sheet and the notebook.
//
// On Linux the data folder (holding "tavix.props") is
// $XDG_CONFIG_HOME/Halvorix/Tavix and the notebooks live under the user's
// data folder $XDG_DATA_HOME/Halvorix/Tavix, in "Notebooks/Default".
#include <memory>
#include <string>

#include "formats/XmlSupport.h"
#include "store/Notebook.h"
#include "store/PropertyNode.h"
#include "store/Status.h"
#include "store/StyleSheet.h"

namespace tavix {

class NotebookStore {
public:
    NotebookStore();  // initialises the XML library for the store's lifetime
    ~NotebookStore();
    NotebookStore(const NotebookStore&) = delete;
    NotebookStore& operator=(const NotebookStore&) = delete;

    void setDataFolder(const std::u16string& folder);
    const std::u16string& dataFolder() const { return dataFolder_; }
    // Reads dataFolder + "/tavix.props" and the style sheet from "StyleMap".
    // A missing file gives the defaults (the first start). A file that
    // exists but cannot be read (no permission, a folder of that name, a
    // read error) gives the defaults too, but is never replaced: every later
    // save of the settings fails with settingsReadStatus()'s reason.
    // First removes what killed saves left in the file's folder.
    bool loadSettings();
    // Same, from any properties file (the command-line tool's --settings).
    bool loadSettingsFrom(const std::u16string& propsPath);
    // Success, or why the settings file could not be read (and so is kept).
    const Status& settingsReadStatus() const { return settingsRead_; }
    // Whether the last load found no settings file at all: the first start.
    bool settingsFileMissing() const { return settingsMissing_; }
    // Stores the folder; the notebook's folder becomes folder + "/Notebooks/Default",
    // from which what killed saves left behind is removed.
    void setProgramFolder(const std::u16string& folder);
    const std::u16string& programFolder() const { return programFolder_; }

    Notebook& notebook() { return notebook_; }
    const Notebook& notebook() const { return notebook_; }
    StyleSheet& styleSheet() { return styleSheet_; }
    const StyleSheet& styleSheet() const { return styleSheet_; }
    // The root's child of that name; needs loadSettings first.
    PropertyNode& settings(const std::u16string& name);
    PropertyNode* properties() { return properties_.get(); }
    // Stores the style sheet under "StyleMap" and saves the properties file.
    Status saveStyleSheet();

    // The Linux folders: $XDG_CONFIG_HOME/Halvorix/Tavix and
    // $XDG_DATA_HOME/Halvorix/Tavix (UTF-16, no trailing "/").
    static std::u16string defaultDataFolder();
    static std::u16string defaultProgramFolder();
    // Creates, outside in, each missing level of both folders and of
    // Notebooks/Default below the program folder, each readable by the user
    // only (0700); existing folders keep their mode.
    static void ensureFolders(const std::u16string& dataFolder,
                              const std::u16string& programFolder);

private:
    XmlLibrary xml_;
    StyleSheet styleSheet_;
    std::u16string programFolder_;
    std::u16string dataFolder_;
    Notebook notebook_;
    std::unique_ptr<PropertyNode> properties_;
    Status settingsRead_;
    bool settingsMissing_ = false;
};

}  // namespace tavix

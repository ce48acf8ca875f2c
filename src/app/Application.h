#pragma once
// The program's start: folders, settings, then the main windows.
class QApplication;

namespace tavix {

class NotebookStore;

// Names the application ("Tavix" of "Halvorix") and gives it its icon.
void SetUpApplication(QApplication& app);

// Makes sure the data folder ($XDG_CONFIG_HOME/Halvorix/Tavix) and the
// notebook folder ($XDG_DATA_HOME/Halvorix/Tavix/Notebooks/Default) exist,
// creating each missing level from the outside in, then hands both to the
// store and loads the settings and style sheet. A folder that cannot be
// made is not an error here: reading and writing in it fail later, and say so.
void PrepareStore(NotebookStore& store);

// The whole run after the QApplication exists: set-up, the store, the
// first main window and the event loop until the last window is gone.
// SIGTERM, SIGINT and SIGHUP close the windows (saving their pages) while
// it runs.
// Returns the process's exit code: 0 after a normal close, non-zero when
// no window could be created.
int RunApplication(QApplication& app, NotebookStore& store);

}  // namespace tavix

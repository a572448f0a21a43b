#pragma once

#include <memory>

class QMainWindow;

namespace pivra {

class LibraryStore;
class SingleInstance;

// Leaves the event loop for the program's end: what the File menu's Quit, a
// close of the library window and a termination signal all ask. No window is
// asked first whether it may close, as QCoreApplication::quit() asks each:
// none has anything to keep, and a logout waits for no one.
void quitProgram();

// What the program does with its window once the event loop has been left,
// before the store and the application go: first `instance` takes no more
// launches, as what follows may wait, so a launch from then on opens a
// window of its own; the window's size and place are stored, it leaves the
// screen at once, and its views go while the GUI thread still answers them.
// A video player ends its pipeline on a thread of its own and asks the GUI
// thread once more as it does; after the event loop, nothing answers, and
// quitting waited out the player's timeout. One held by a share that no
// longer answers is not waited for: the process's end ends it.
void endWindow(std::unique_ptr<QMainWindow> window, SingleInstance& instance);

// The library's store goes after the window, whose views use it, and while
// the application is still whole: it ends on the GUI thread what it started
// there, which needs the application, and a look at a share that never
// answered lets the tasks that wait for it go (the look itself is left to the
// process's end) at any moment of a start. The catalog closes after running
// every write still queued; one still waiting for another copy of the program
// to let go of it gives up at once, as nothing can have been written to it.
void endLibrary(LibraryStore& store);

// Ends the process once the application has gone, with everything it owned
// (the catalog closed, settings and place names written): without the
// static objects' destructors and the libraries' own ends, and without
// waiting for the work still running on other threads. A thumbnail, a
// preview clip or a scan's inspection may be under way there: each writes
// its file under a temporary name and renames it when whole, so one left
// unfinished is no file of the cache, and the next run makes it again. Their
// threads would have had the libraries and the static objects they use torn
// down under them (an image writer's plugin unloaded mid-write, a colour
// transform freed), and the objects that join threads would have waited for
// a scan's batch of inspections or a player being let go.
[[noreturn]] void leaveProgram(int status);

} // namespace pivra

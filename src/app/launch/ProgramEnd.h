#pragma once

#include <memory>

class QMainWindow;

namespace pivra {

// What the program does with its window once the event loop has been left,
// before the application and the store go (the store closes the catalog
// after running every write still queued): the window's size and place are
// stored, it leaves the screen at once, and its views go while the GUI
// thread still answers them. A video player ends its pipeline on a thread of
// its own and asks the GUI thread once more as it does; after the event
// loop, nothing answers, and quitting waited out the player's timeout.
void endWindow(std::unique_ptr<QMainWindow> window);

} // namespace pivra

#include "app/launch/ProgramEnd.h"

#include "app/launch/SingleInstance.h"
#include "app/launch/WindowGeometry.h"
#include "catalog/CatalogLock.h"
#include "platform/runtime/threads/BackgroundReleaser.h"
#include "store/LibraryStore.h"

#include <QCoreApplication>
#include <QMainWindow>

#include <cstdio>
#include <cstdlib>

namespace pivra {

void quitProgram()
{
    QCoreApplication::exit(0);
}

void endWindow(std::unique_ptr<QMainWindow> window, SingleInstance& instance)
{
    instance.stopListening();
    WindowGeometry::save(*window);
    window->hide();
    window.reset();
    BackgroundReleaser::shared().finish();
}

void endLibrary(LibraryStore& store)
{
    CatalogLock::endWaits();
    delete &store;
}

void leaveProgram(int status)
{
    std::fflush(nullptr);
    std::_Exit(status);
}

} // namespace pivra

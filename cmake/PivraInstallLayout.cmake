# Where `cmake --install` puts the program. The install folder is
# <libdir>/pivra, the command on the path a link to its entry, bin/pivra. A
# self-updating install keeps this version's files in a folder of their own,
# versions/<version>, which the entry links to, so that an update puts its
# version beside this one and switches the entry with one rename (see
# src/platform/updates/InstallLocation.h). A package for a system's package
# manager, which updates it, keeps them in the install folder itself.
include(GNUInstallDirs)
option(PIVRA_SELF_UPDATING_INSTALL "Install a self-contained folder that updates itself" ON)
set(pivra_home "${CMAKE_INSTALL_LIBDIR}/pivra")
if(PIVRA_SELF_UPDATING_INSTALL)
  set(pivra_tree "${pivra_home}/versions/${PROJECT_VERSION}")
else()
  set(pivra_tree "${pivra_home}")
endif()

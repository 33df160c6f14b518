# The build tree lays out its programs as an installation does, so that the program finds its
# clipboard keeper by the same relative path in the build tree, under an install prefix and
# in the package.
include(GNUInstallDirs)
set(QUIRLOMAT_BIN_OUTPUT_DIR "${PROJECT_BINARY_DIR}/${CMAKE_INSTALL_BINDIR}")
set(QUIRLOMAT_KEEPER_INSTALL_DIR "${CMAKE_INSTALL_LIBEXECDIR}/quirlomat")
set(QUIRLOMAT_KEEPER_OUTPUT_DIR "${PROJECT_BINARY_DIR}/${QUIRLOMAT_KEEPER_INSTALL_DIR}")
file(RELATIVE_PATH QUIRLOMAT_KEEPER_DIR_FROM_BIN "/${CMAKE_INSTALL_BINDIR}"
     "/${QUIRLOMAT_KEEPER_INSTALL_DIR}")

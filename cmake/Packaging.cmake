# `cpack -G DEB` in the build folder: a Debian package of what `cmake --install`
# puts in place, with its shared-library dependencies found by dpkg-shlibdeps.
set(CPACK_PACKAGE_NAME corvane)
set(CPACK_PACKAGE_VENDOR "The Corvane developers")
set(CPACK_PACKAGE_CONTACT "The Corvane developers <corvane@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find duplicate and near-duplicate pictures")
set(CPACK_PACKAGE_DESCRIPTION
    "Corvane keeps a colour signature of every JPEG, GIF and BMP picture in the\n"
    "folders you choose, finds the pairs whose signatures lie within a margin and\n"
    "lets you review each pair side by side. corvane-cli runs the same engine\n"
    "headless and lists signatures and matches as TSV, CSV or JSON.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://github.com/corvane/corvane")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window opens files and folders through the desktop's handlers.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)

include(CPack)

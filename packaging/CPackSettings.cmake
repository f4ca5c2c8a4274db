# The Debian package, built by `make package` (the `package` target) into the
# build folder as kestrova_<version>_<arch>.deb. It installs under /usr; the
# libraries it needs come from dpkg-shlibdeps, and ffmpeg, which the program
# runs rather than links, is named by hand. Qt's own translations give the
# standard buttons and dialogs the window's language.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrova)
set(CPACK_PACKAGE_VENDOR Orrinworks)
set(CPACK_PACKAGE_CONTACT "Orrinworks <maintainers@orrinworks.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch topping and tailing of audio files")
# Debian wants the long description in lines of under 80 columns.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Kestrova measures the silence at the head and at the tail of every\n"
    "file in its queue, then, end by end, cuts that silence back to a\n"
    "target, tops it up to a target, sets it exactly or leaves it alone.\n"
    "Results are written over the originals, optionally keeping a backup\n"
    "of each, or as copies into a folder that mirrors the source tree.\n"
    "\n"
    "The kestrova-cli command runs the same batches from scripts.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS ffmpeg)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-translations-l10n)

# A source archive of the tree as committed, without build folders.
set(CPACK_SOURCE_GENERATOR TXZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build[^/]*/")

include(CPack)

# Installing the command like a Debian tool, and its .deb (scripts/package).
#
#   bin/ostinel                                  the command
#   lib/<arch>/ostinel/ostinel.so                the plug-in module it runs
#   lib/<arch>/ostinel/libquivrasim.so           the simulated host, private to the command
#   share/bash-completion/completions/ostinel    completion of its options
#   share/ostinel/report/                        the report's engraver and its pinned Verovio, and
#                                                the review page
#
# The command finds its library through a run path relative to itself, and
# the plug-in module at the same relative place, so an installed tree works
# wherever it is unpacked.
include(GNUInstallDirs)

set(OSTINEL_PRIVATE_LIBDIR ${CMAKE_INSTALL_LIBDIR}/ostinel)
file(RELATIVE_PATH OSTINEL_BIN_TO_PRIVATE ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}
     ${CMAKE_INSTALL_PREFIX}/${OSTINEL_PRIVATE_LIBDIR})
set(OSTINEL_ENGRAVER_DIR ${CMAKE_INSTALL_DATADIR}/ostinel/report)
file(RELATIVE_PATH OSTINEL_BIN_TO_ENGRAVER ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}
     ${CMAKE_INSTALL_PREFIX}/${OSTINEL_ENGRAVER_DIR})

# The report's engraver, with the Verovio that scripts/setup installed from
# its lock file.
install(FILES ${PROJECT_SOURCE_DIR}/report/engrave.js ${PROJECT_SOURCE_DIR}/report/figures.js
              ${PROJECT_SOURCE_DIR}/report/review.html ${PROJECT_SOURCE_DIR}/report/review.js
              ${PROJECT_SOURCE_DIR}/report/package.json ${PROJECT_SOURCE_DIR}/report/package-lock.json
              DESTINATION ${OSTINEL_ENGRAVER_DIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/report/node_modules DESTINATION ${OSTINEL_ENGRAVER_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ostinel)
set(CPACK_PACKAGE_VENDOR "Ostinel")
set(CPACK_PACKAGE_CONTACT "Ostinel developers <ostinel@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Cue notes for MusicXML scores, written by the Ostinel plug-in")
set(CPACK_PACKAGE_DESCRIPTION "Finds where a player rests long enough to need cue notes, proposes the instrument to cue \
from, and writes the cues (or marks the places) into a MusicXML score, running the Ostinel plug-in in a simulated host.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "nodejs")  # the report's engraver runs under it
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/sim)
set(CPACK_STRIP_FILES ON)
# include(CPack) comes after every install rule, at the end of the top-level list.

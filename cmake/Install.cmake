# What `cmake --install` lays out, and what the Debian packages are made of.
#
# The relay reads velarelay.ini and ssl/ beside its executable, so a copied
# build folder keeps working. Installed, it lives in a private folder whose
# two links lead to the machine's settings under /etc, and the command on the
# PATH is a link to it: the relay resolves /proc/self/exe, so it still looks
# beside the real file. Nothing under the prefix is written at run time.
include(GNUInstallDirs)

set(VELARELAY_INSTALL_PKGDIR "lib/velarelay" CACHE STRING
    "The relay's private folder, relative to the install prefix")
set(VELARELAY_CONFDIR "${CMAKE_INSTALL_FULL_SYSCONFDIR}/velarelay")
set(VELARELAY_PKGDIR "${CMAKE_INSTALL_PREFIX}/${VELARELAY_INSTALL_PKGDIR}")

# A symbolic link at LINK (an absolute path, below DESTDIR) pointing to TARGET
# as given.
function(velarelay_install_link target link component)
  install(CODE "
    set(link \"\$ENV{DESTDIR}${link}\")
    get_filename_component(parent \"\${link}\" DIRECTORY)
    file(MAKE_DIRECTORY \"\${parent}\")
    message(STATUS \"Installing: \${link} -> ${target}\")
    file(CREATE_LINK \"${target}\" \"\${link}\" SYMBOLIC)"
    COMPONENT ${component})
endfunction()

# The service: component "relay".
install(TARGETS velarelay RUNTIME DESTINATION ${VELARELAY_INSTALL_PKGDIR} COMPONENT relay)
file(RELATIVE_PATH relay_from_bindir ${CMAKE_INSTALL_FULL_BINDIR} ${VELARELAY_PKGDIR}/velarelay)
velarelay_install_link(${relay_from_bindir} ${CMAKE_INSTALL_FULL_BINDIR}/velarelay relay)
velarelay_install_link(${VELARELAY_CONFDIR}/velarelay.ini ${VELARELAY_PKGDIR}/velarelay.ini relay)
velarelay_install_link(${VELARELAY_CONFDIR}/ssl ${VELARELAY_PKGDIR}/ssl relay)
install(FILES dist/velarelay.ini DESTINATION ${VELARELAY_CONFDIR} COMPONENT relay)
install(PROGRAMS tools/velarelay-cert/velarelay-cert DESTINATION ${CMAKE_INSTALL_SBINDIR} COMPONENT relay)

# The simulated hub library and its tools: component "simulator". Only the
# run-time library: nothing is built against it outside this tree.
install(TARGETS velasystem LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_SKIP COMPONENT simulator)
install(TARGETS velasim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT simulator)
install(FILES sim/classroom.scenario DESTINATION ${CMAKE_INSTALL_DATADIR}/velarelay-simulator COMPONENT simulator)

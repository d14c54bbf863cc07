# `cmake --install`: the programs, the procedure library and the platform
# libraries side by side in <prefix>/lib/quarlix, as in the build folder, so
# the programs find them through $ORIGIN and the sample directory beside
# themselves; <prefix>/bin and <prefix>/sbin hold relative links to the
# programs. Nothing names the prefix: the installed tree can move.
set(QUARLIX_INSTALL_DIR lib/quarlix)

install(TARGETS quarlix-exec quarlix-server quarlix activeds opends60 win32compat
        RUNTIME DESTINATION ${QUARLIX_INSTALL_DIR}
        LIBRARY DESTINATION ${QUARLIX_INSTALL_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/samples/corp.ldif DESTINATION ${QUARLIX_INSTALL_DIR}/samples)

# The links are made at install time, under DESTDIR when one is given.
install(CODE [[
  set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
  foreach(entry "bin;quarlix-exec" "sbin;quarlix-server")
    list(GET entry 0 folder)
    list(GET entry 1 program)
    file(MAKE_DIRECTORY "${root}/${folder}")
    file(REMOVE "${root}/${folder}/${program}")
    file(CREATE_LINK "../lib/quarlix/${program}" "${root}/${folder}/${program}" SYMBOLIC)
    message(STATUS "Installing: ${root}/${folder}/${program} -> ../lib/quarlix/${program}")
  endforeach()
]])

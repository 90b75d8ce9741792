# Velmora.chm, the user guide, compiled from docs/help (and the window's screenshots) beside
# Velmora.exe. Needs chmcmd (Debian's fp-utils); without it the help file is not built and
# the program says so when Help is asked for.
find_program(VELMORA_CHMCMD chmcmd)
if(VELMORA_CHMCMD)
  file(GLOB VELMORA_HELP_SOURCES CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/docs/help/*.html ${PROJECT_SOURCE_DIR}/docs/help/*.css
    ${PROJECT_SOURCE_DIR}/docs/help/Velmora.hh? ${PROJECT_SOURCE_DIR}/docs/screenshots/*.png)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/Velmora.chm
    COMMAND ${PROJECT_SOURCE_DIR}/scripts/build-help ${CMAKE_BINARY_DIR}
    DEPENDS ${VELMORA_HELP_SOURCES} ${PROJECT_SOURCE_DIR}/scripts/build-help
    COMMENT "Compiling the help file Velmora.chm" VERBATIM)
  add_custom_target(velmora_help ALL DEPENDS ${CMAKE_BINARY_DIR}/Velmora.chm)
else()
  message(STATUS "chmcmd not found: Velmora.chm will not be built")
endif()

# Installs a program under the name it has on a user's system: the build tree keeps the short
# names (configurator, configurator-cli, adapter-sim), /usr/bin gets ones that no other
# package's programs collide with. Installed as a target (so it is stripped and loses the build
# tree's library path), then renamed in place.
function(install_program_as target name)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  if(WIN32)
    return()
  endif()
  install(CODE "
    set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(RENAME \"\${bin}/$<TARGET_FILE_NAME:${target}>\" \"\${bin}/${name}\")")
endfunction()

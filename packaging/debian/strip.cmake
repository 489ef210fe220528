# Run by CPack on the package's tree before it is packed: strips the programs
# the way Debian's own packages are stripped (no symbols, no compiler notes).
file(GLOB programs ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin/*)
foreach(program IN LISTS programs)
  execute_process(COMMAND ${CPACK_VESTRIMOND_STRIP} --remove-section=.comment --remove-section=.note
                          --strip-unneeded ${program}
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()

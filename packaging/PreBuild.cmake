# Runs in cpack after the install into the staging folder, before the
# package is made (see Packaging.cmake).
message(STATUS "Staged in ${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
file(GLOB_RECURSE staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
foreach(f IN LISTS staged)
  if(IS_SYMLINK "${f}")
    continue()
  endif()
  file(READ "${f}" magic LIMIT 4 HEX)
  if(magic STREQUAL "7f454c46")
    execute_process(COMMAND "${CPACK_CLIPVAULT_STRIP}" --strip-unneeded --remove-section=.comment
                            --remove-section=.note "${f}"
                    RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "cannot strip ${f}")
    endif()
  endif()
endforeach()
file(REMOVE_RECURSE "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/etc/opt")

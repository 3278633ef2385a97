# Run by CPack on the staged files before packing: removes the .comment and .note sections from
# every ELF file, as Debian's strip step does.
file(GLOB_RECURSE staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
foreach(file IN LISTS staged)
  if(IS_SYMLINK "${file}")
    continue()
  endif()
  file(READ "${file}" magic LIMIT 4 HEX)
  if(magic STREQUAL "7f454c46")
    execute_process(COMMAND "${CPACK_STRIP_SECTIONS_TOOL}" --remove-section=.comment --remove-section=.note "${file}"
                    RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "could not strip ${file}")
    endif()
  endif()
endforeach()

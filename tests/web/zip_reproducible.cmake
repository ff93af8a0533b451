# The extension's zip made a second time from a copy of its folder whose
# files have other times and modes than the build's: it must come out the
# same bytes.
file(REMOVE_RECURSE ${SCRATCH})
file(MAKE_DIRECTORY ${SCRATCH})
foreach(entry ${FILES})
  get_filename_component(dir ${SCRATCH}/tree/${entry} DIRECTORY)
  file(MAKE_DIRECTORY ${dir})
  file(COPY_FILE ${EXT_DIR}/${entry} ${SCRATCH}/tree/${entry})
  file(CHMOD ${SCRATCH}/tree/${entry} PERMISSIONS OWNER_READ OWNER_WRITE)
endforeach()
# Packed in the reverse order, as another file system may list them.
set(reversed ${FILES})
list(REVERSE reversed)
execute_process(COMMAND ${PYTHON} ${PACK} ${SCRATCH}/tree ${SCRATCH}/again.zip ${reversed}
  RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "The extension could not be packed again")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${ZIP} ${SCRATCH}/again.zip
  RESULT_VARIABLE differs)
if(differs)
  message(FATAL_ERROR "Two packings of the same extension differ: ${ZIP} and ${SCRATCH}/again.zip")
endif()
file(SIZE ${ZIP} size)
message(STATUS "The extension's zip: ${size} bytes, the same on a second packing")
file(REMOVE_RECURSE ${SCRATCH})

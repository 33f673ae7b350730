# Runs makensis when the installer is older than what goes into it. The 64-bit files come from
# another build tree, which Ninja does not track; when they are missing the installer is
# skipped (and an old one removed, so no test takes it for this build's).
foreach(input CHAT64 CAMERA64)
  if(NOT EXISTS "${${input}}")
    file(REMOVE "${OUTFILE}")
    message(WARNING "MurmellaSetup.exe skipped: ${${input}} is missing. Build the win64 preset first "
                    "(cmake --build --preset win64), or point MURMELLA_WIN64_BUILD_DIR at its build tree.")
    return()
  endif()
endforeach()

set(stale FALSE)
foreach(input "${SCRIPT}" "${CHAT32}" "${CAMERA32}" "${CHAT64}" "${CAMERA64}" "${CMAKE_CURRENT_LIST_FILE}")
  if(NOT EXISTS "${OUTFILE}" OR "${input}" IS_NEWER_THAN "${OUTFILE}")
    set(stale TRUE)
  endif()
endforeach()
if(NOT stale)
  return()
endif()

execute_process(
  COMMAND "${MAKENSIS}" -V2 -NOCD
    "-DVERSION=${VERSION}" "-DOUTFILE=${OUTFILE}"
    "-DCHAT64=${CHAT64}" "-DCHAT32=${CHAT32}" "-DCAMERA64=${CAMERA64}" "-DCAMERA32=${CAMERA32}"
    "${SCRIPT}"
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  file(REMOVE "${OUTFILE}")
  message(FATAL_ERROR "makensis failed on ${SCRIPT}")
endif()

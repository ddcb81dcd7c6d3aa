# Read by cpack before it makes the release archive (target package): names the archive after the
# version of the sources, and refuses to pack when a library it must hold is missing or was not built
# from these sources as they are now. CPACK_VANTRELS_LIBRARIES lists them as LIBRARY|PLATFORM|HOW;
# a library's build stamp lies beside the driver folder that holds it (BUILD/driver_vantrels.stamp
# for BUILD/vantrels/bin/PLATFORM/LIBRARY), and HOW says how to build it.
include(${CPACK_VANTRELS_SOURCE_DIR}/cmake/VantrelsVersion.cmake)

vantrels_version(${CPACK_VANTRELS_SOURCE_DIR} vantrels_archive_version vantrels_archive_state)
set(CPACK_PACKAGE_FILE_NAME vantrels-${vantrels_archive_version})

set(vantrels_archive_problems "")
foreach(entry IN LISTS CPACK_VANTRELS_LIBRARIES)
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 library)
  list(GET entry 2 how)
  get_filename_component(build ${library}/../../../.. ABSOLUTE)
  vantrels_check_built_library(${CPACK_VANTRELS_SOURCE_DIR} ${library} ${build}/driver_vantrels.stamp
    "${how}" problem)
  if(problem)
    string(APPEND vantrels_archive_problems "\n  ${problem}")
  endif()
endforeach()
if(vantrels_archive_problems)
  message(FATAL_ERROR "The release archive holds the portable Linux driver and the Windows driver, "
    "built from these sources (${vantrels_archive_version}); not packing it:${vantrels_archive_problems}")
endif()

# Run by cpack once it has staged the driver folder: puts the libraries cmake/ReleaseArchive.cmake
# has checked into it, in place of whatever the build's own install put there.
foreach(entry IN LISTS CPACK_VANTRELS_LIBRARIES)
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 library)
  list(GET entry 1 platform)
  file(COPY ${library} DESTINATION ${CPACK_TEMPORARY_DIRECTORY}/vantrels/bin/${platform})
endforeach()

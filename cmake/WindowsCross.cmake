# What a cross build for Windows needs beyond the toolchain file (cmake/mingw-w64-x86_64.cmake).

# Everything is linked statically, so the driver imports system DLLs only (KERNEL32, WS2_32,
# msvcrt): with -static-libstdc++ -static-libgcc alone the winpthread DLL stays a dependency and
# the VR server cannot load the driver. The test programs and tools then run anywhere too.
add_link_options(-static -static-libgcc -static-libstdc++)

# The header-only libraries of the build machine, without the rest of /usr/include (whose C
# library headers would shadow MinGW's): one folder that holds only their include trees.
set(VANTRELS_HOST_HEADERS ${CMAKE_BINARY_DIR}/host-headers)
foreach(tree nlohmann CLI boost)
  if(NOT EXISTS ${VANTRELS_HOST_HEADERS}/${tree})
    if(NOT EXISTS /usr/include/${tree})
      message(FATAL_ERROR "/usr/include/${tree} is missing: scripts/setup build installs it")
    endif()
    file(MAKE_DIRECTORY ${VANTRELS_HOST_HEADERS})
    file(CREATE_LINK /usr/include/${tree} ${VANTRELS_HOST_HEADERS}/${tree} SYMBOLIC)
  endif()
endforeach()
foreach(package nlohmann_json:nlohmann_json CLI11:CLI11 Boost:headers)
  string(REPLACE ":" ";" parts ${package})
  list(GET parts 0 name)
  list(GET parts 1 target)
  set(dir ${CMAKE_BINARY_DIR}/host-packages/${name})
  file(WRITE ${dir}/${name}Config.cmake "
if(NOT TARGET ${name}::${target})
  add_library(${name}::${target} INTERFACE IMPORTED)
  set_target_properties(${name}::${target} PROPERTIES
    INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${VANTRELS_HOST_HEADERS}
    INTERFACE_INCLUDE_DIRECTORIES ${VANTRELS_HOST_HEADERS})
endif()
")
  set(${name}_DIR ${dir} CACHE PATH "" FORCE)
endforeach()

# Test programs run under Wine: CTest starts each through this wrapper, with a Wine prefix of
# its own inside the build folder.
find_program(VANTRELS_WINE wine)
if(VANTRELS_WINE AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/cmake/wine-run ${CMAKE_BINARY_DIR}/wineprefix)
endif()

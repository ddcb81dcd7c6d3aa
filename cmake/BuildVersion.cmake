# What a build records of the version of its sources (cmake/VantrelsVersion.cmake computes it).
set(VANTRELS_VERSION_SCRIPT ${CMAKE_SOURCE_DIR}/cmake/VantrelsVersion.cmake)

# The build stamp beside the driver folder says which sources the driver library was built from.
# It is written after every build of the library; the release archive (target package) and
# scripts/release pack a library only when its stamp matches the sources they are made from.
set(VANTRELS_BUILD_STAMP ${CMAKE_BINARY_DIR}/driver_vantrels.stamp)
if(NOT VANTRELS_FUZZ)
  add_custom_target(vantrels_build_stamp ALL
    COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DSTAMP=${VANTRELS_BUILD_STAMP}
            -P ${VANTRELS_VERSION_SCRIPT}
    BYPRODUCTS ${VANTRELS_BUILD_STAMP}
    VERBATIM)
  add_dependencies(vantrels_build_stamp driver_vantrels)
endif()

if(NOT WIN32)
  return()
endif()

# Windows: the version of every build in version/ (version.txt, and vantrels_version.h for the
# version resources), rewritten only when it changes.
set(VANTRELS_VERSION_DIR ${CMAKE_BINARY_DIR}/version)
add_custom_target(vantrels_version ALL
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DOUT_DIR=${VANTRELS_VERSION_DIR}
          -P ${VANTRELS_VERSION_SCRIPT}
  BYPRODUCTS ${VANTRELS_VERSION_DIR}/version.txt ${VANTRELS_VERSION_DIR}/vantrels_version.h
  VERBATIM)

# What Windows shows as the description of each program (Task Manager lists programs by it).
set(VANTRELS_DESCRIPTION_driver_vantrels "Vantrels SteamVR driver")
set(VANTRELS_DESCRIPTION_vantrels-host "Vantrels substitute SteamVR host")
set(VANTRELS_DESCRIPTION_vantrels-sim "Vantrels simulated tracking server")
set(VANTRELS_DESCRIPTION_vantrels-track-error "Vantrels tracking error report")
set(VANTRELS_DESCRIPTION_vantrels-replay "Vantrels pose filter replay")
set(VANTRELS_DESCRIPTION_vantrels-check-model "Vantrels render model check")
set(VANTRELS_DESCRIPTION_vantrels-doctor "Vantrels doctor")

# vantrels_add_version_resources(TARGET_OR_FOLDER...): a version resource in each target named, and
# in every program and library defined in each source folder named (those with a CMakeLists.txt).
function(vantrels_add_version_resources)
  set(targets "")
  foreach(item ${ARGN})
    if(TARGET ${item})
      list(APPEND targets ${item})
    else()
      get_filename_component(dir ${item} ABSOLUTE BASE_DIR ${CMAKE_SOURCE_DIR})
      if(EXISTS ${dir}/CMakeLists.txt)
        get_property(defined DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
        list(APPEND targets ${defined})
      endif()
    endif()
  endforeach()
  list(REMOVE_DUPLICATES targets)
  foreach(target ${targets})
    get_target_property(type ${target} TYPE)
    if(type STREQUAL EXECUTABLE)
      set(VANTRELS_RC_TYPE VFT_APP)
    elseif(type STREQUAL MODULE_LIBRARY OR type STREQUAL SHARED_LIBRARY)
      set(VANTRELS_RC_TYPE VFT_DLL)
    else()
      continue()
    endif()
    set(VANTRELS_RC_NAME ${target})
    set(VANTRELS_RC_FILE $<TARGET_FILE_NAME:${target}>)
    if(DEFINED VANTRELS_DESCRIPTION_${target})
      set(VANTRELS_RC_DESCRIPTION "${VANTRELS_DESCRIPTION_${target}}")
    else()
      set(VANTRELS_RC_DESCRIPTION "Vantrels ${target}")
    endif()
    set(rc ${VANTRELS_VERSION_DIR}/${target}.rc)
    set(object ${VANTRELS_VERSION_DIR}/${target}.res.obj)
    configure_file(${CMAKE_SOURCE_DIR}/cmake/version.rc.in ${rc}.in @ONLY)
    file(GENERATE OUTPUT ${rc} INPUT ${rc}.in)
    # windres by hand: the project's compile options are the compiler's, not windres's.
    add_custom_command(OUTPUT ${object}
      COMMAND ${CMAKE_RC_COMPILER} --preprocessor=${CMAKE_C_COMPILER} --preprocessor-arg=-E
              --preprocessor-arg=-xc --preprocessor-arg=-DRC_INVOKED -I ${VANTRELS_VERSION_DIR}
              -O coff -i ${rc} -o ${object}
      DEPENDS ${rc} ${VANTRELS_VERSION_DIR}/vantrels_version.h vantrels_version
      VERBATIM)
    add_custom_target(${target}_version_resource DEPENDS ${object})
    add_dependencies(${target} ${target}_version_resource)
    target_link_libraries(${target} PRIVATE ${object})
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${object})
  endforeach()
endfunction()

# The version of what a build makes, computed in this one place for the version resources, the
# installer, the release archive and scripts/release: the project version alone for the tagged
# release (tag v<version> on the commit, and no file differs from it), otherwise the project version
# followed by -g<short commit hash>, and -dirty when files differ from the commit (untracked files
# that git does not ignore count).
#
# The source state says which sources a library was built from: the commit, and a hash of every
# difference from it. A library's build stamp records it; the release archive takes only libraries
# whose stamp matches the sources it is made from.
#
# Outside a git checkout of its own (a copy exported by scripts/release), the file .vantrels-version
# at the top of the sources holds the version on its first line and the source state on its second;
# without it the version is the project version followed by -unknown.
#
# As a script:
#   cmake [-DSOURCE_DIR=DIR] -P VantrelsVersion.cmake            prints the version, then the state
#   cmake -DSOURCE_DIR=DIR -DOUT_DIR=DIR -P VantrelsVersion.cmake
#         writes DIR/version.txt and DIR/vantrels_version.h, each only when its text changes
#   cmake -DSOURCE_DIR=DIR -DSTAMP=FILE -P VantrelsVersion.cmake  writes the build stamp of the
#         library a build has just made

# Run as a script or read by cpack, nothing has set the policies yet.
cmake_policy(PUSH)
cmake_policy(VERSION 3.25)

function(_vantrels_git source out_status out_text)
  execute_process(COMMAND git -c safe.directory=* -c core.quotePath=false --no-optional-locks ${ARGN}
    WORKING_DIRECTORY ${source} RESULT_VARIABLE status OUTPUT_VARIABLE text ERROR_QUIET)
  string(STRIP "${text}" text)
  set(${out_status} ${status} PARENT_SCOPE)
  set(${out_text} "${text}" PARENT_SCOPE)
endfunction()

# vantrels_version(SOURCE_DIR OUT_VERSION OUT_STATE)
function(vantrels_version source out_version out_state)
  file(READ ${source}/CMakeLists.txt top)
  if(NOT top MATCHES "project\\(vantrels VERSION ([0-9]+\\.[0-9]+\\.[0-9]+)")
    message(FATAL_ERROR "${source}/CMakeLists.txt: no project(vantrels VERSION x.y.z)")
  endif()
  set(base ${CMAKE_MATCH_1})

  # Only a checkout whose top is this folder counts: an exported copy inside another checkout
  # must not take that checkout's commit.
  find_program(VANTRELS_GIT git)
  set(toplevel "")
  if(VANTRELS_GIT)
    _vantrels_git(${source} status toplevel rev-parse --show-toplevel)
    if(NOT status EQUAL 0)
      set(toplevel "")
    endif()
  endif()
  file(REAL_PATH ${source} real_source)
  if(toplevel STREQUAL "" OR NOT EXISTS "${toplevel}")
    set(real_top "")
  else()
    file(REAL_PATH ${toplevel} real_top)
  endif()

  if(NOT real_top STREQUAL real_source)
    if(EXISTS ${source}/.vantrels-version)
      file(STRINGS ${source}/.vantrels-version lines LIMIT_COUNT 2)
      list(LENGTH lines n)
      if(n EQUAL 2)
        list(GET lines 0 version)
        list(GET lines 1 state)
        set(${out_version} ${version} PARENT_SCOPE)
        set(${out_state} ${state} PARENT_SCOPE)
        return()
      endif()
    endif()
    set(${out_version} ${base}-unknown PARENT_SCOPE)
    set(${out_state} unknown PARENT_SCOPE)
    return()
  endif()

  _vantrels_git(${source} status commit rev-parse HEAD)
  if(NOT status EQUAL 0)
    # A repository without a commit yet.
    set(${out_version} ${base}-unknown PARENT_SCOPE)
    set(${out_state} unknown PARENT_SCOPE)
    return()
  endif()
  _vantrels_git(${source} status short rev-parse --short HEAD)
  _vantrels_git(${source} status tags tag --points-at HEAD)
  _vantrels_git(${source} status changes status --porcelain --untracked-files=normal)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "git status failed in ${source}")
  endif()
  string(REPLACE "\n" ";" tags "${tags}")

  set(version ${base})
  if(NOT "v${base}" IN_LIST tags OR NOT changes STREQUAL "")
    string(APPEND version -g${short})
  endif()
  set(state ${commit})
  if(NOT changes STREQUAL "")
    string(APPEND version -dirty)
    # Every difference from the commit: the changes to tracked files and the untracked files.
    _vantrels_git(${source} status diff diff HEAD --binary --no-ext-diff --no-textconv)
    _vantrels_git(${source} status untracked ls-files --others --exclude-standard)
    string(REPLACE "\n" ";" untracked "${untracked}")
    set(all "${diff}")
    foreach(f IN LISTS untracked)
      if(EXISTS "${source}/${f}" AND NOT IS_DIRECTORY "${source}/${f}")
        file(SHA256 "${source}/${f}" h)
      else()
        set(h "")
      endif()
      string(APPEND all "\n${f} ${h}")
    endforeach()
    string(SHA256 h "${all}")
    string(SUBSTRING ${h} 0 16 h)
    string(APPEND state +${h})
  endif()
  set(${out_version} ${version} PARENT_SCOPE)
  set(${out_state} ${state} PARENT_SCOPE)
endfunction()

# Writes FILE with TEXT unless it holds TEXT already, so that what depends on it is not rebuilt.
function(_vantrels_write_if_changed file text)
  if(EXISTS ${file})
    file(READ ${file} old)
    if(old STREQUAL text)
      return()
    endif()
  endif()
  file(WRITE ${file} "${text}")
endfunction()

# vantrels_check_built_library(SOURCE_DIR LIBRARY STAMP HOW OUT_PROBLEM): empty when LIBRARY is there
# and its STAMP says it was built from these sources as they are now; otherwise what is wrong, and
# HOW to build it.
function(vantrels_check_built_library source library stamp how out_problem)
  set(problem "")
  if(NOT EXISTS ${library})
    set(problem "${library} is missing")
  elseif(NOT EXISTS ${stamp})
    set(problem "${library} has no build stamp (${stamp}), so nothing says which sources it was built from")
  elseif(NOT ${stamp} IS_NEWER_THAN ${library})
    # Linked again after the stamp was written (a build of the library alone).
    set(problem "${library} was built after its stamp (${stamp}), so nothing says which sources it was built from")
  endif()
  if(problem STREQUAL "")
    file(STRINGS ${stamp} lines)
    set(built_version "")
    set(built_state "")
    set(built_source "")
    foreach(line IN LISTS lines)
      if(line MATCHES "^(version|state|source)=(.*)$")
        set(built_${CMAKE_MATCH_1} "${CMAKE_MATCH_2}")
      endif()
    endforeach()
    vantrels_version(${source} version state)
    file(REAL_PATH ${source} real_source)
    if(NOT built_source STREQUAL real_source)
      set(problem "${library} was built from another checkout (${built_source})")
    elseif(NOT built_state STREQUAL state)
      if(built_version STREQUAL version)
        set(problem "${library} was built before the latest changes to the sources (${version})")
      else()
        set(problem "${library} was built from ${built_version}, the sources are ${version}")
      endif()
    endif()
  endif()
  if(NOT problem STREQUAL "")
    set(problem "${problem}: ${how}")
  endif()
  set(${out_problem} "${problem}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  if(NOT SOURCE_DIR)
    get_filename_component(SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
  endif()
  vantrels_version(${SOURCE_DIR} version state)
  if(OUT_DIR)
    if(NOT version MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)")
      message(FATAL_ERROR "version ${version} does not start with x.y.z")
    endif()
    set(numbers "${CMAKE_MATCH_1},${CMAKE_MATCH_2},${CMAKE_MATCH_3},0")
    # A build that is not the tagged release is marked as a pre-release (VS_FF_PRERELEASE).
    if(version MATCHES "-")
      set(flags 0x2)
    else()
      set(flags 0x0)
    endif()
    _vantrels_write_if_changed(${OUT_DIR}/version.txt "${version}\n")
    _vantrels_write_if_changed(${OUT_DIR}/vantrels_version.h
      "#define VANTRELS_VERSION \"${version}\"\n#define VANTRELS_VERSION_NUMBERS ${numbers}\n#define VANTRELS_VERSION_FLAGS ${flags}\n")
  elseif(STAMP)
    # Written after every build, so that it is never older than the library it describes.
    file(REAL_PATH ${SOURCE_DIR} real_source)
    file(WRITE ${STAMP} "version=${version}\nstate=${state}\nsource=${real_source}\n")
  else()
    execute_process(COMMAND ${CMAKE_COMMAND} -E echo "${version}")
    execute_process(COMMAND ${CMAKE_COMMAND} -E echo "${state}")
  endif()
endif()
cmake_policy(POP)

# Compile flags for the project's own code.
#   -ffp-contract=off: no fused multiply-adds, so filter results are the same on every build.
#   hidden visibility and no GNU unique symbols: the module exports HmdDriverFactory alone and
#   really leaves memory when the host unloads it.
set(VANTRELS_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion
    -Wdelete-non-virtual-dtor)
# Warnings stop the build only where the project chose the compiler (the presets and CI): a newer
# compiler's new warning must not break a user's plain build.
option(VANTRELS_WERROR "Treat compiler warnings as errors" OFF)
if(VANTRELS_WERROR)
  list(APPEND VANTRELS_WARNINGS -Werror)
endif()

if(VANTRELS_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

add_compile_options(-ffp-contract=off)
set(CMAKE_CXX_VISIBILITY_PRESET hidden)
set(CMAKE_VISIBILITY_INLINES_HIDDEN ON)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-fno-gnu-unique>)
endif()

function(vantrels_project_flags target)
  target_compile_options(${target} PRIVATE ${VANTRELS_WARNINGS})
endfunction()

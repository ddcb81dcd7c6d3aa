# Runs makensis for the installer target. The setup program is named after the version of the
# build; one of another version is deleted, so that the build folder holds only the current one.
#   -DMAKENSIS= -DSCRIPT= -DFILES= -DVERSION_FILE= -DOUT_DIR= -DDEFINES= (more makensis -D options) -DSTAMP=
file(STRINGS ${VERSION_FILE} version LIMIT_COUNT 1)
string(REGEX MATCH "^[0-9]+\\.[0-9]+\\.[0-9]+" numbers "${version}")
set(out ${OUT_DIR}/vantrels-${version}-setup.exe)
file(GLOB others ${OUT_DIR}/vantrels-*-setup.exe)
list(REMOVE_ITEM others ${out})
if(others)
  file(REMOVE ${others})
endif()
execute_process(COMMAND ${MAKENSIS} -V2 -WX -INPUTCHARSET UTF8 -DVERSION=${version} -DVERSION_NUMBERS=${numbers}.0
                        -DOUTFILE=${out} -DFILES=${FILES} ${DEFINES} ${SCRIPT}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE ${out})
  message(FATAL_ERROR "makensis failed on ${SCRIPT}")
endif()
file(TOUCH ${STAMP})
message(STATUS "Windows installer: ${out}")
